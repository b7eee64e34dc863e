#include <gtest/gtest.h>

#include "app/tray_status.h"
#include "base/path.h"
#include "session/session_codes.h"

using namespace zk;

TEST(TrayStatus, LooksFollowLoginUploadsAndTheQueue) {
    CTrayStatus status;
    EXPECT_EQ(status.Take().look, TrayLook::kIdle);

    status.OnQueue({2, 5, 3 << 20});
    TrayState s = status.Take();
    EXPECT_EQ(s.look, TrayLook::kSending);
    EXPECT_EQ(s.kilobytes, 3072);

    status.OnAuthEvent(kAuthFailed);
    EXPECT_EQ(status.Take().look, TrayLook::kAttention) << "a refused login needs a person";
    status.OnAuthEvent(kAuthBegin);
    EXPECT_EQ(status.Take().look, TrayLook::kAttention) << "still refused until a login succeeds";
    status.OnAuthEvent(kAuthSucceeded);
    EXPECT_EQ(status.Take().look, TrayLook::kSending);

    status.OnTransferEvent(kTransferFailed, {2, 5, 3 << 20});
    EXPECT_EQ(status.Take().look, TrayLook::kAttention) << "the last upload failed";
    status.OnTransferEvent(kTransferAccepted, {1, 4, 1 << 20});
    EXPECT_EQ(status.Take().look, TrayLook::kSending);
    status.OnTransferEvent(kTransferFailed, {1, 4, 1 << 20}, /*stopped=*/true);
    EXPECT_EQ(status.Take().look, TrayLook::kSending) << "the program's own stop needs nobody";
    status.OnTransferEvent(kTransferTaskRemoved, {0, 0, 0});
    EXPECT_EQ(status.Take(), (TrayState{TrayLook::kIdle, 0, 0, 0, {}, {}}));
}

TEST(TrayStatus, ABurstOfEventsAsksForOneWake) {
    CTrayStatus status;
    EXPECT_TRUE(status.OnQueue({1, 1, 10}));
    EXPECT_FALSE(status.OnTransferEvent(kTransferBegin, {1, 1, 10}));
    EXPECT_FALSE(status.OnAuthEvent(kAuthFailed));
    const TrayState s = status.Take();
    EXPECT_EQ(s.look, TrayLook::kAttention) << "the wake's taker sees the latest state";
    EXPECT_TRUE(status.OnQueue({0, 0, 0})) << "after a take the next change wakes again";
}

TEST(TrayStatus, TheTipKeepsTheNameFirstAndTheQueueSecond) {
    EXPECT_EQ(TrayTip({TrayLook::kIdle, 0, 0, 0, {}, {}}), L"ZELTAVIO EXPRESS UPLOADER\nЗаданий в очереди: 0");
    EXPECT_EQ(TrayTip({TrayLook::kSending, 2, 14, 2048, {}, {}}), L"ZELTAVIO EXPRESS UPLOADER\nЗаданий в очереди: 2, файлов: 14, 2048 КБ");
    EXPECT_EQ(TrayTip({TrayLook::kAttention, 1, 3, 9, {}, {}}), L"ZELTAVIO EXPRESS UPLOADER\nОшибка! Заданий в очереди: 1, файлов: 3, 9 КБ");
    EXPECT_LE(TrayTip({TrayLook::kAttention, INT64_MAX, INT64_MAX, INT64_MAX, {}, {}}).size(), 127u);
}

TEST(TrayStatus, AnOrderSetAsideNeedsAPersonUntilItMovesAgain) {
    CTrayStatus status;
    const std::wstring anna = std::wstring(L"audit") + kPathSep + L"Anna" + kPathSep, boris = std::wstring(L"audit") + kPathSep + L"Boris" + kPathSep;
    status.OnSetAside(anna, L"413 Request Entity Too Large");
    status.OnTransferEvent(kTransferAccepted, {2, 3, 4096}, false, boris);
    TrayState s = status.Take();
    EXPECT_EQ(s.look, TrayLook::kAttention) << "the orders behind it going does not end it";
    EXPECT_EQ(TrayTip(s), L"ZELTAVIO EXPRESS UPLOADER\nЗаказ «Anna» отложен: 413 Request Entity Too Large");
    EXPECT_EQ(TrayTip({TrayLook::kAttention, 0, 0, 0, std::wstring(300, L'x'), {}}).size(), 127u);
    status.OnTransferEvent(kTransferAccepted, {1, 1, 10}, false, anna);
    s = status.Take();
    EXPECT_EQ(s.look, TrayLook::kSending) << "a file of that order accepted";
    EXPECT_TRUE(s.notice.empty());
    status.OnSetAside(anna, L"ERROR: disk full");
    status.OnTransferEvent(kTransferTaskRemoved, {0, 0, 0}, false, anna);
    EXPECT_EQ(status.Take(), (TrayState{TrayLook::kIdle, 0, 0, 0, {}, {}})) << "the order left";
}

TEST(TrayStatus, APauseHasItsOwnLookAndTheTipsSecondLine) {
    CTrayStatus status;
    status.OnQueue({2, 5, 4096});
    status.OnPause(L"Отправка приостановлена до 15:30");
    TrayState s = status.Take();
    EXPECT_EQ(s.look, TrayLook::kPaused) << "even with orders waiting";
    EXPECT_EQ(TrayTip(s), L"ZELTAVIO EXPRESS UPLOADER\nОтправка приостановлена до 15:30\nЗаданий в очереди: 2, файлов: 5, 4 КБ");
    status.OnAuthEvent(kAuthFailed);
    EXPECT_EQ(status.Take().look, TrayLook::kAttention) << "what needs a person shows first";
    status.OnAuthEvent(kAuthSucceeded);
    status.OnPause(L"");
    EXPECT_EQ(status.Take().look, TrayLook::kSending);
}
