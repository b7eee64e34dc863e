// When a folder filled in place counts as settled, on a clock of the test's own.
#include <gtest/gtest.h>

#include "intake/settle_gate.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {
const CSettleGate::Clock::time_point t0{};
auto InUse(bool v) {
    return [v] { return v; };
}
}  // namespace

TEST(SettleGate, TwoLooksASecondApartAndTheQuietTimeAfterTheLastChange) {
    CSettleGate gate;  // 2 s quiet
    const std::wstring f = L"audit/o1/";
    EXPECT_FALSE(gate.Look(f, L"a|1", t0, InUse(false))) << "a first look never settles";
    EXPECT_FALSE(gate.Look(f, L"a|1", t0 + 500ms, InUse(false))) << "too soon to count";
    EXPECT_FALSE(gate.Look(f, L"a|1", t0 + 1s, InUse(false))) << "unchanged, but quiet for 1 s only";
    EXPECT_FALSE(gate.Look(f, L"a|1\nb|7", t0 + 2s, InUse(false))) << "a file was added: the quiet starts again";
    EXPECT_FALSE(gate.Look(f, L"a|1\nb|9", t0 + 3s, InUse(false))) << "it grew";
    EXPECT_FALSE(gate.Look(f, L"a|1\nb|9", t0 + 4s, InUse(false)));
    EXPECT_TRUE(gate.Look(f, L"a|1\nb|9", t0 + 5s, InUse(false))) << "2 s unchanged over two looks";
    EXPECT_TRUE(gate.Empty()) << "a settled folder is forgotten";
    EXPECT_FALSE(gate.Look(f, L"a|1\nb|9", t0 + 6s, InUse(false))) << "seen again: a fresh start";
}

TEST(SettleGate, AFileInUseHoldsTheFolderBackWhateverItsListingShows) {
    CSettleGate gate;
    const std::wstring f = L"audit/copy/";
    int asked = 0;
    auto busy = [&] {
        ++asked;
        return true;
    };
    EXPECT_FALSE(gate.Look(f, L"big|100", t0, busy));
    EXPECT_EQ(asked, 0) << "not asked on a first look";
    for (int s = 1; s <= 5; ++s) EXPECT_FALSE(gate.Look(f, L"big|100", t0 + std::chrono::seconds(s), busy));
    EXPECT_EQ(asked, 5);
    EXPECT_FALSE(gate.Look(f, L"big|100", t0 + 6s, InUse(false))) << "closed: the quiet time counts from the last look in use";
    EXPECT_TRUE(gate.Look(f, L"big|100", t0 + 7s, InUse(false)));
}

TEST(SettleGate, FoldersAreTrackedApartAndTheGoneAreForgotten) {
    CSettleGate gate(500ms);
    EXPECT_FALSE(gate.Look(L"a/", L"x", t0, InUse(false)));
    EXPECT_FALSE(gate.Look(L"b/", L"y", t0, InUse(false)));
    gate.KeepOnly({L"b/"});
    EXPECT_FALSE(gate.Watching(L"a/"));
    EXPECT_TRUE(gate.Watching(L"b/"));
    EXPECT_TRUE(gate.Look(L"b/", L"y", t0 + 1s, InUse(false))) << "the look gap (1 s) and a short quiet time";
    EXPECT_FALSE(gate.Look(L"a/", L"x", t0 + 1s, InUse(false))) << "forgotten: starts again";
}

TEST(SettleGate, AnEmptyFolderMadeInPlaceWaitsAMinuteOneThatArrivedDoesNot) {
    CSettleGate gate;  // 2 s quiet, a minute for an empty folder made in place
    EXPECT_FALSE(gate.Look(L"New folder/", L"", t0, InUse(false)));
    EXPECT_FALSE(gate.Look(L"New folder/", L"", t0 + 59s, InUse(false))) << "a person is still naming it";
    EXPECT_TRUE(gate.Look(L"New folder/", L"", t0 + 60s, InUse(false)));
    EXPECT_FALSE(gate.Look(L"moved/", L"", t0, InUse(false), /*arrived=*/true));
    EXPECT_TRUE(gate.Look(L"moved/", L"", t0 + 2s, InUse(false))) << "an empty order moved in: remembered from its first look";
    EXPECT_FALSE(gate.Look(L"filled/", L"", t0, InUse(false)));
    EXPECT_FALSE(gate.Look(L"filled/", L"a|1", t0 + 1s, InUse(false)));
    EXPECT_TRUE(gate.Look(L"filled/", L"a|1", t0 + 3s, InUse(false))) << "once something is in it, the usual quiet";
}
