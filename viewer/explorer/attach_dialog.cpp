#include "attach_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "local_jvms_model.h"

AttachDialog::AttachDialog(long connectedPid, QWidget* parent) : QDialog(parent), connectedPid_(connectedPid)
{
    setObjectName(QStringLiteral("attachDialog"));
    setWindowTitle(tr("Attach to a Java process"));
    model_ = new LocalJvmsModel(this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("jvms"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->setWordWrap(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(LocalJvmsModel::PidColumn, 70);
    table_->setColumnWidth(LocalJvmsModel::MainColumn, 260);
    table_->setColumnWidth(LocalJvmsModel::VersionColumn, 220);
    auto* intro = new QLabel(tr("The Java processes on this machine, as jcmd lists them. Attaching loads Vorlan's "
                                "agent into the one chosen if it has none, and connects to it."),
                             this);
    intro->setWordWrap(true);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("attachStatus"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QDialogButtonBox(this);
    attach_ = buttons->addButton(tr("&Attach"), QDialogButtonBox::AcceptRole);
    attach_->setObjectName(QStringLiteral("attach"));
    attach_->setDefault(true);
    refresh_ = buttons->addButton(tr("&Refresh"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(table_, 1);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    resize(780, 360);

    connect(attach_, &QPushButton::clicked, this, &AttachDialog::attachCurrent);
    connect(refresh_, &QPushButton::clicked, this, &AttachDialog::refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table_, &QAbstractItemView::activated, this, [this] { attachCurrent(); });
    connect(&listing_, &QFutureWatcherBase::finished, this, [this] {
        model_->setJvms(listing_.result(), connectedPid_);
        setBusy(false);
        setStatus(model_->rowCount() == 0
                      ? tr("No Java process found (one started with -XX:-UsePerfData is not seen).")
                      : model_->rowCount() == 1 ? tr("1 Java process.")
                                                : tr("%1 Java processes.").arg(model_->rowCount()));
        // The process connected to now, else the first one that can be attached to.
        int chosen = model_->rowOf(connectedPid_);
        for (int row = 0; row < model_->rowCount() && chosen < 0; ++row)
            if (model_->attachable(row))
                chosen = row;
        if (chosen >= 0)
            table_->setCurrentIndex(model_->index(chosen, 0));
        Q_EMIT listed();
    });
    connect(&loading_, &QFutureWatcherBase::finished, this, [this] {
        const AgentByPid agent = loading_.result();
        setBusy(false);
        if (!agent.ok()) {
            setStatus(tr("Cannot attach to %1: %2").arg(loadingPid_).arg(QString::fromStdString(agent.error)), true);
            return;
        }
        Q_EMIT attached(agent.port, loadingPid_);
        accept();
    });
    refresh();
}

AttachDialog::~AttachDialog()
{
    listing_.waitForFinished();
    loading_.waitForFinished();
}

QString AttachDialog::statusText() const
{
    return status_->text();
}

bool AttachDialog::busy() const
{
    return listing_.isRunning() || loading_.isRunning();
}

void AttachDialog::setStatus(const QString& text, bool failure)
{
    status_->setStyleSheet(failure ? QStringLiteral("color: #a01010") : QString());
    status_->setText(text);
}

void AttachDialog::setBusy(bool busy)
{
    attach_->setEnabled(!busy);
    refresh_->setEnabled(!busy);
    setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
}

void AttachDialog::refresh()
{
    if (busy())
        return;
    setBusy(true);
    setStatus(tr("Looking for Java processes…"));
    listing_.setFuture(QtConcurrent::run([] { return listLocalJvms(); }));
}

void AttachDialog::attachCurrent()
{
    const int row = table_->currentIndex().row();
    QString why;
    if (!model_->attachable(row, &why)) {
        setStatus(row < 0 ? tr("Choose a process first.") : tr("Cannot attach: %1").arg(why), true);
        return;
    }
    attachTo(model_->jvmAt(row)->process.pid);
}

void AttachDialog::attachTo(long pid)
{
    if (busy())
        return;
    loadingPid_ = pid;
    setBusy(true);
    setStatus(tr("Attaching to %1: loading Vorlan's agent if it has none…").arg(pid));
    const std::string library = defaultAgentLibrary();
    loading_.setFuture(QtConcurrent::run([pid, library] { return agentByPid(pid, library); }));
}
