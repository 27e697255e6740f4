#include "root_groups.h"

#include "display_text.h"
#include "heap_rows.h"
#include "heap_tree_model.h"

namespace {

QString titleOf(const std::string& kind)
{
    return QStringLiteral("GC roots: ") + rootKindTitle(kind);
}

std::unique_ptr<HeapTreeItem> groupRow(QString title, QString tip = {})
{
    return std::make_unique<HeapTreeItem>(HeapTreeItem::Kind::group, RowCells{std::move(title), {}, {}, -1, std::move(tip)});
}

std::unique_ptr<HeapTreeItem> rootRow(const RootEntry& entry, const std::string& where)
{
    ObjectRef ref{entry.handle, entry.type, -1, entry.preview};
    QString name = '@' + fromWire(entry.handle);
    return objectRow(ref, name, where.empty() ? QString() : QStringLiteral("held in ") + fromWire(where));
}

}  // namespace

void RootGroups::beginSurvey()
{
    for (auto& [kind, group] : groups_)
        model_->removeRow(group.index);
    groups_.clear();
    last_ = SurveyBatch{};
    setProgress(QStringLiteral("listing the GC roots…"));
}

int RootGroups::rowForOrder(int order) const
{
    int row = (opened_.isValid() ? 1 : 0) + (progress_.isValid() ? 1 : 0);
    for (const auto& [kind, group] : groups_)
        if (group.order < order)
            ++row;
    return row;
}

RootGroups::Group& RootGroups::groupFor(const std::string& kind)
{
    auto found = groups_.find(kind);
    if (found != groups_.end())
        return found->second;
    Group group;
    group.order = rootKindOrder(kind);
    group.index = model_->insertRow({}, rowForOrder(group.order), groupRow(titleOf(kind)));
    return groups_.emplace(kind, group).first->second;
}

void RootGroups::retitle(const std::string& kind, Group& group)
{
    RowCells cells = model_->itemAt(group.index)->cells();
    cells.name = titleOf(kind);
    cells.value = countText(group.count) + (group.count == 1 ? QStringLiteral(" object") : QStringLiteral(" objects"));
    model_->setCells(group.index, cells);
}

void RootGroups::addBatch(const SurveyBatch& batch)
{
    std::map<std::string, std::vector<const SortedRoot*>> byKind;
    for (const SortedRoot& sorted : batch.sorted)
        byKind[sorted.kind].push_back(&sorted);
    for (const auto& [kind, roots] : byKind) {
        Group& group = groupFor(kind);
        for (const SortedRoot* sorted : roots)
            model_->appendRow(group.index, rootRow(sorted->root, sorted->where));
        group.count += static_cast<long long>(roots.size());
        retitle(kind, group);
    }
    last_ = batch;
    setProgress(QStringLiteral("listing %1 GC roots: %2 so far, the program paused %3")
                    .arg(countText(batch.total), countText(batch.surveyed), durationText(batch.walkMs)),
                QStringLiteral("one walk of the roots per page; everything else goes on meanwhile"));
}

void RootGroups::endSurvey()
{
    if (last_.error.failed()) {
        setProgress(QStringLiteral("could not list every GC root: ") + fromWire(last_.error.message),
                    QStringLiteral("F5 tries again"));
    } else if (last_.total == 0) {
        setProgress(QStringLiteral("the agent lists no GC roots"));
    } else if (progress_.isValid()) {
        model_->removeRow(progress_);
        progress_ = QPersistentModelIndex();
    }
}

void RootGroups::setProgress(const QString& text, const QString& tip)
{
    if (!progress_.isValid())
        progress_ = model_->insertRow({}, opened_.isValid() ? 1 : 0, noteRow(text, tip));
    else
        model_->setCells(progress_, RowCells{text, {}, {}, -1, tip});
}

QModelIndex RootGroups::addOpened(const ObjectRef& ref)
{
    if (!opened_.isValid())
        opened_ = model_->insertRow({}, 0, groupRow(QStringLiteral("Opened objects"),
                                                    QStringLiteral("objects opened from the other views")));
    return model_->appendRow(opened_, objectRow(ref, '@' + fromWire(ref.handle)));
}
