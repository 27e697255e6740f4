#include "log_window.h"

#include <QPlainTextEdit>
#include <QTextCursor>

#include "window_layout.h"

TForm2::TForm2(const std::string& logPath, QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("log"));
    // Closing this window only hides it; the viewer ends with the main window.
    setAttribute(Qt::WA_QuitOnClose, false);
    placeWindow(this, 95, 183, 435, 301);

    log = new QPlainTextEdit(QStringLiteral("log"), this);
    log->setObjectName(QStringLiteral("log"));
    log->setGeometry(16, 8, 393, 249);
    log->setLineWrapMode(QPlainTextEdit::NoWrap);
    log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The box shows exactly what the file gets, so it takes no typing.
    log->setReadOnly(true);

    show();
    // The window is cut to 249 pixels; the box keeps its size, so its foot is hidden.
    setOuterSize(this, 435, 249);
    log->clear();
    file_.emplace(logPath);
}

void TForm2::appendLog(std::string_view text)
{
    if (text.empty())
        return;
    // Appending at the end keeps each trace text cheap however long the log grows.
    QTextCursor cursor(log->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    if (file_)
        file_->write(text);
}

void TForm2::closeLogFile()
{
    if (file_)
        file_->close();
}
