#include "tree_window.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeView>

#include <chrono>
#include <thread>
#include <unordered_map>

#include "busy_cursor.h"
#include "log_window.h"
#include "object_tree_model.h"
#include "signature_names.h"
#include "window_layout.h"

// The class name the log gives the tree control when it is double-clicked.
static constexpr const char* kTreeClassName = "TTreeView";

TForm1::TForm1(int initialPort, QWidget* parent) : QWidget(parent), client_(initialPort)
{
    setWindowTitle(QStringLiteral("Vorlan"));
    placeWindow(this, 265, 67, 435, 442);

    model_ = new ObjectTreeModel(this);
    tree = new QTreeView(this);
    tree->setObjectName(QStringLiteral("tree"));
    tree->setGeometry(8, 8, 409, 361);
    tree->setIndentation(19);
    tree->setHeaderHidden(true);
    tree->setUniformRowHeights(true);  // lets a million-row expansion lay out quickly
    tree->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    tree->setModel(model_);

    refresh_btn = new QPushButton(QStringLiteral("refresh"), this);
    refresh_btn->setObjectName(QStringLiteral("refresh_btn"));
    refresh_btn->setGeometry(112, 376, 81, 25);
    close_btn = new QPushButton(QStringLiteral("close"), this);
    close_btn->setObjectName(QStringLiteral("close_btn"));
    close_btn->setGeometry(216, 376, 81, 25);
    QWidget::setTabOrder(refresh_btn, close_btn);
    QWidget::setTabOrder(close_btn, tree);
    refresh_btn->setFocus();

    connect(refresh_btn, &QPushButton::clicked, this, &TForm1::refresh_btnClick);
    connect(close_btn, &QPushButton::clicked, this, &TForm1::close_btnClick);
    // The view has expanded the node but not painted it yet; the children are
    // fetched here.
    connect(tree, &QTreeView::expanded, this, &TForm1::treeExpanding);
    tree->viewport()->installEventFilter(this);
    tree->installEventFilter(this);

    show();
    setOuterSize(this, 435, 442);
    client_.connectIfNeeded();
    model_->createRoot(QString::fromLatin1(kRootCaption));
}

void TForm1::configure(const ViewerOptions& options, TForm2* logWindow)
{
    debug_ = options.debug;
    client_.setPort(options.port);
    logWindow_ = logWindow;
    if (debug_ == 1 && logWindow_) {
        trace_ = TraceLog(debug_, [log = logWindow_](std::string_view text) { log->appendLog(text); });
    } else {
        trace_ = TraceLog();
    }
    client_.setTrace(trace_);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tree->viewport() && event->type() == QEvent::MouseButtonDblClick)
        treeDblClick(tree);  // the view's own expansion on a double click follows
    // "*" expands a whole subtree, and object graphs have cycles: it would never end.
    if (watched == tree && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Asterisk)
        return true;
    return QWidget::eventFilter(watched, event);
}

void TForm1::addObjectNodes(const QModelIndex& parent, const ReplyLines& lines)
{
    std::vector<ObjectNode> nodes;
    nodes.reserve(lines.size());
    // Rows of one type share one caption string.
    std::unordered_map<std::string, QString> captions;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (trace_.on()) {
            trace_(line);
            trace_("\r\n");
        }
        const size_t blank = line.find(' ');
        if (blank == std::string_view::npos)
            break;  // a line without a blank ends the reply
        ObjectNode node;
        node.handle = std::string(line.substr(0, blank));
        const std::string name = convSignature(line.substr(blank + 1), trace_);
        auto cached = captions.find(name);
        if (cached == captions.end())
            cached = captions.emplace(name, QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))).first;
        node.caption = cached->second;
        nodes.push_back(std::move(node));
    }
    model_->setChildren(parent, std::move(nodes));
}

void TForm1::refresh_btnClick()
{
    trace_("refresh\r\n");
    ReplyLines lines;
    {
        BusyCursor busy;
        client_.connectIfNeeded();
        lines = client_.getClasses('p', {});
    }
    trace_("strcnt=", client_.strcnt(), "\r\n");
    tree->collapseAll();
    const QModelIndex root = model_->rootIndex();
    model_->removeChildren(root);
    addObjectNodes(root, lines);
    trace_("adr=");  // the root carries no handle text
    trace_("\r\n");
    tree->expand(root);
}

void TForm1::treeExpanding(const QModelIndex& node)
{
    if (node == model_->rootIndex())
        return;  // the root's children come from refresh
    trace_("treeExpanding\r\n");
    const std::string handle = model_->handle(node);
    ReplyLines lines;
    {
        BusyCursor busy;
        client_.connectIfNeeded();
        if (trace_.on()) {
            trace_(handle);
            trace_("\r\n");
        }
        lines = client_.getClasses('e', handle);
    }
    trace_("strcnt=", client_.strcnt(), "\r\n");
    model_->removeChildren(node);
    addObjectNodes(node, lines);
}

void TForm1::treeDblClick(QObject*)
{
    trace_(kTreeClassName);
}

void TForm1::close_btnClick()
{
    trace_("disconnectJvmti\r\n");
    {
        BusyCursor busy;
        client_.disconnectJvmti();
        // Gives the agent time to take the "q" before this end of the connection goes.
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (debug_ == 1 && logWindow_) {
        logWindow_->closeLogFile();
        logWindow_->hide();
        logWindow_->close();
    }
    QCoreApplication::exit(0);
}
