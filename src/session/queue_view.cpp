#include "session/queue_view.h"

#include "base/path.h"

namespace zk {
namespace {

OrderStage StageOf(const CZKRBTreeNode& t, const QueueViewInput& in) {
    switch (t.state) {
        case kTaskBuilding:
        case kTaskWaiting: return OrderStage::kSettling;
        case kTaskSplit: return OrderStage::kSplitting;  // the splitter goes on during a pause
        case kTaskDone: return OrderStage::kSent;
        case kTaskFailed:
            if (t.retryAt > in.now) return OrderStage::kSetAside;
            return in.paused ? OrderStage::kPaused : OrderStage::kRetrying;
        default: return in.paused ? OrderStage::kPaused : OrderStage::kWaiting;
    }
}

}  // namespace

std::vector<QueueOrder> QueueView(CZKRBTree& registry, const QueueViewInput& in) {
    std::vector<QueueOrder> orders;
    std::lock_guard lock(registry.Mutex());
    for (CZKRBTreeNode* t = registry.First(); t && orders.size() < kQueueRowsShown; t = t->nextArrival) {
        QueueOrder o;
        o.name = FolderName(t->Name());
        o.stage = StageOf(*t, in);
        if (o.stage == OrderStage::kSetAside) {
            o.file = t->asideFile;
            o.reason = t->asideReason;
            o.status = t->asideStatus;
            if (in.clockIn) o.retryClock = in.clockIn(std::chrono::ceil<std::chrono::seconds>(t->retryAt - in.now));
        }
        if (!in.currentTask.empty() && t->Name() == in.currentTask && !in.paused &&
            (o.stage == OrderStage::kWaiting || o.stage == OrderStage::kRetrying)) {
            o.stage = OrderStage::kSending;
            std::lock_guard files(t->Files().Mutex());
            for (const CZKListEntry* f = t->Files().First(); f; f = f->next) {
                ++o.total;
                if (f->state == kFileSent) ++o.sent;
            }
        }
        orders.push_back(std::move(o));
    }
    return orders;
}

}  // namespace zk
