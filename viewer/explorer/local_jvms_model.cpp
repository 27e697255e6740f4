#include "local_jvms_model.h"

#include "display_text.h"

LocalJvmsModel::LocalJvmsModel(QObject* parent) : QAbstractTableModel(parent) {}

void LocalJvmsModel::setJvms(std::vector<LocalJvm> jvms, long connectedPid)
{
    beginResetModel();
    jvms_ = std::move(jvms);
    connectedPid_ = connectedPid;
    endResetModel();
}

const LocalJvm* LocalJvmsModel::jvmAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return &jvms_[static_cast<size_t>(row)];
}

int LocalJvmsModel::rowOf(long pid) const
{
    for (size_t row = 0; row < jvms_.size(); ++row)
        if (jvms_[row].process.pid == pid)
            return static_cast<int>(row);
    return -1;
}

bool LocalJvmsModel::attachable(int row, QString* why) const
{
    const LocalJvm* jvm = jvmAt(row);
    QString reason;
    if (!jvm)
        reason = tr("no such process");
    else if (!jvm->ours)
        reason = tr("it runs as %1, and a VM lets only its own user attach: run Vorlan as %1")
                     .arg(fromWire(jvm->user));
    else if (jvm->agent.state != PortFileState::found && jvm->attachDisabled)
        reason = tr("it was started with -XX:+DisableAttachMechanism: start it with -agentpath:…/libvorlanagt.so");
    if (why)
        *why = reason;
    return reason.isEmpty();
}

QString LocalJvmsModel::agentText(const LocalJvm& jvm) const
{
    if (!jvm.ours)
        return tr("another user's (%1)").arg(fromWire(jvm.user));
    QString text;
    if (jvm.agent.state == PortFileState::found)
        text = QStringLiteral("127.0.0.1:%1").arg(jvm.agent.port);
    else if (jvm.attachDisabled)
        text = tr("— attach turned off");
    else
        text = tr("— loaded when attached");
    if (jvm.process.pid == connectedPid_)
        text += tr(" · connected");
    return text;
}

int LocalJvmsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(jvms_.size());
}

int LocalJvmsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LocalJvmsModel::data(const QModelIndex& index, int role) const
{
    const LocalJvm* jvm = index.isValid() ? jvmAt(index.row()) : nullptr;
    if (!jvm)
        return {};
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case PidColumn: return QString::number(jvm->process.pid);
        case MainColumn: return jvm->mainClass.empty() ? QStringLiteral("—") : fromWire(jvm->mainClass);
        case VersionColumn: return jvm->vmVersion.empty() ? QStringLiteral("—") : fromWire(jvm->vmVersion);
        case AgentColumn: return agentText(*jvm);
        default: return {};
        }
    }
    if (role == Qt::ToolTipRole) {
        QString why;
        if (!attachable(index.row(), &why))
            return tr("Cannot attach: %1").arg(why);
        QString tip = fromWire(jvm->vmName);
        if (!jvm->mainClass.empty())
            tip = fromWire(jvm->mainClass) + '\n' + tip;
        return tip + (jvm->agent.state == PortFileState::found
                          ? tr("\nVorlan's agent listens on port %1: attaching connects to it").arg(jvm->agent.port)
                          : tr("\nattaching loads Vorlan's agent into it, on a port the system picks"));
    }
    if (role == Qt::TextAlignmentRole && index.column() == PidColumn)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

QVariant LocalJvmsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case PidColumn: return tr("PID");
    case MainColumn: return tr("Main class or jar");
    case VersionColumn: return tr("JVM");
    case AgentColumn: return tr("Vorlan agent");
    default: return {};
    }
}

Qt::ItemFlags LocalJvmsModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Rows that cannot be attached to stay readable and selectable, greyed: their tip says why.
    return attachable(index.row()) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::ItemIsSelectable;
}
