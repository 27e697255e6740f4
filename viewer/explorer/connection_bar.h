// The connection line: the agent's port, a button to connect (again), one to attach to
// a Java process by choosing it, and what the agent said to hello (its version, the JVM,
// the pid), or why there is no connection.
#pragma once

#include <QWidget>

#include "reply_views.h"

class QLabel;
class QPushButton;
class QSpinBox;

class ConnectionBar : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionBar(int port, QWidget* parent = nullptr);

    int port() const;
    void setPort(int port);
    bool connected() const { return connected_; }
    QString stateText() const;

    void showConnecting();
    void showConnected(const Hello& hello);
    void showDisconnected(const QString& why);

Q_SIGNALS:
    void connectRequested(int port);
    void attachRequested();

private:
    QSpinBox* port_;
    QPushButton* connect_;
    QPushButton* attach_;
    QLabel* state_;
    bool connected_ = false;
};
