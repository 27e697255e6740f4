// The log window "log": every trace text at debug level 1 is appended to its text box
// and to the log file.
#pragma once

#include <QWidget>

#include <optional>
#include <string>
#include <string_view>

#include "log_file.h"

class QPlainTextEdit;

constexpr const char* kLogFileName = "vllog.txt";

class TForm2 : public QWidget {
    Q_OBJECT

public:
    explicit TForm2(const std::string& logPath = kLogFileName, QWidget* parent = nullptr);

    // Appends text to the box and, unchanged, to the file.
    void appendLog(std::string_view text);
    void closeLogFile();

    QPlainTextEdit* log;

private:
    std::optional<LogFile> file_;
};
