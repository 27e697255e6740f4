#include "root_groups.h"

#include "display_text.h"
#include "heap_rows.h"
#include "heap_tree_model.h"
#include "root_names.h"

namespace {

QString titleOf(const std::string& kind)
{
    return QStringLiteral("GC roots: ") + rootKindTitle(kind);
}

std::unique_ptr<HeapTreeItem> groupRow(QString title, QString tip = {})
{
    return std::make_unique<HeapTreeItem>(HeapTreeItem::Kind::group, RowCells{std::move(title), {}, {}, -1, std::move(tip)});
}

// A thread by its name and a local by its thread and method, so that the rows of one
// group read apart; other roots by their object's handle.
std::unique_ptr<HeapTreeItem> rootRow(const SortedRoot& sorted)
{
    const RootEntry& entry = sorted.root;
    ObjectRef ref{entry.handle, entry.type, -1, entry.preview};
    return objectRow(ref, rootRowName(sorted.holder, entry.handle),
                     sorted.where.empty() ? QString() : fromWire(rootName(sorted.holder)));
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
            model_->appendRow(group.index, rootRow(*sorted));
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
                                                    QStringLiteral("objects opened from the other views; "
                                                                   "Ctrl+W closes one")));
    const QModelIndex already = openedRow(ref.handle);
    if (already.isValid())
        return already;
    return model_->appendRow(opened_, objectRow(ref, '@' + fromWire(ref.handle)));
}

QModelIndex RootGroups::openedRow(const std::string& handle) const
{
    if (!opened_.isValid())
        return {};
    for (int row = 0; row < model_->rowCount(opened_); ++row) {
        const QModelIndex index = model_->index(row, 0, opened_);
        if (model_->itemAt(index)->handle() == handle)
            return index;
    }
    return {};
}

bool RootGroups::isOpened(const QModelIndex& index) const
{
    return opened_.isValid() && index.isValid() && index.siblingAtColumn(0).parent() == QModelIndex(opened_);
}

QModelIndex RootGroups::closeOpened(const QModelIndex& index)
{
    if (!isOpened(index))
        return {};
    const int row = index.siblingAtColumn(0).row();
    model_->removeRow(index.siblingAtColumn(0));
    const int left = model_->rowCount(opened_);
    if (left == 0) {
        const int groupRow = opened_.row();
        model_->removeRow(opened_);
        opened_ = QPersistentModelIndex();
        return model_->index(std::min(groupRow, model_->rowCount() - 1), 0);
    }
    return model_->index(std::min(row, left - 1), 0, opened_);
}

void RootGroups::closeAllOpened()
{
    if (opened_.isValid())
        model_->removeRow(opened_);
    opened_ = QPersistentModelIndex();
}
