// The Java processes of this machine as the Attach dialog lists them, as jcmd lists them:
// pid, main class or jar, VM version, and whether Vorlan's agent is loaded in it and on
// which port. A process that cannot take the agent (another user's, attach turned off)
// is listed greyed out, saying why.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "local_jvms.h"

class LocalJvmsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { PidColumn, MainColumn, VersionColumn, AgentColumn, ColumnCount };

    explicit LocalJvmsModel(QObject* parent = nullptr);

    // connectedPid: the process the explorer is connected to, marked as such.
    void setJvms(std::vector<LocalJvm> jvms, long connectedPid);
    const LocalJvm* jvmAt(int row) const;
    // Whether the agent can be loaded (or is) in the process at row; why not in why.
    bool attachable(int row, QString* why = nullptr) const;
    int rowOf(long pid) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QString agentText(const LocalJvm& jvm) const;

    std::vector<LocalJvm> jvms_;
    long connectedPid_ = -1;
};
