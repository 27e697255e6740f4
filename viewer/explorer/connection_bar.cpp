#include "connection_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "display_text.h"

ConnectionBar::ConnectionBar(int port, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(tr("&Port"), this);
    port_ = new QSpinBox(this);
    port_->setObjectName(QStringLiteral("port"));
    port_->setRange(1, 65535);
    port_->setValue(port);
    port_->setGroupSeparatorShown(false);
    label->setBuddy(port_);
    connect_ = new QPushButton(tr("Connect"), this);
    connect_->setObjectName(QStringLiteral("connect"));
    connect_->setToolTip(tr("Connect to the agent on this port, dropping the connection there is"));
    attach_ = new QPushButton(tr("Attach…"), this);
    attach_->setObjectName(QStringLiteral("attachButton"));
    attach_->setToolTip(tr("Choose a Java process of this machine; Vorlan's agent is loaded into it if need be "
                           "(Ctrl+Shift+A)"));
    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("connectionState"));
    state_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
    layout->addWidget(port_);
    layout->addWidget(connect_);
    layout->addWidget(attach_);
    layout->addSpacing(8);
    layout->addWidget(state_, 1);

    connect(connect_, &QPushButton::clicked, this, [this] { Q_EMIT connectRequested(port_->value()); });
    connect(attach_, &QPushButton::clicked, this, &ConnectionBar::attachRequested);
    connect(port_, &QSpinBox::editingFinished, this, [this] {
        if (port_->hasFocus())
            Q_EMIT connectRequested(port_->value());
    });
}

int ConnectionBar::port() const
{
    return port_->value();
}

void ConnectionBar::setPort(int port)
{
    port_->setValue(port);
}

QString ConnectionBar::stateText() const
{
    return state_->text();
}

void ConnectionBar::showConnecting()
{
    connected_ = false;
    state_->setStyleSheet({});
    state_->setText(tr("connecting to 127.0.0.1:%1…").arg(port_->value()));
}

void ConnectionBar::showConnected(const Hello& hello)
{
    connected_ = true;
    state_->setStyleSheet(QStringLiteral("color: #1b6e20"));
    QString text = tr("● connected: %1 %2").arg(fromWire(hello.agentName), fromWire(hello.agentVersion));
    if (!hello.jvmName.empty())
        text += QStringLiteral(" · ") + fromWire(hello.jvmName) + ' ' + fromWire(hello.jvmVersion);
    if (hello.pid >= 0)
        text += tr(" · pid %1").arg(hello.pid);
    state_->setText(text);
}

void ConnectionBar::showDisconnected(const QString& why)
{
    connected_ = false;
    state_->setStyleSheet(QStringLiteral("color: #a01010"));
    state_->setText(tr("○ not connected: %1").arg(why));
    state_->setToolTip(why);
}
