#include <gtest/gtest.h>

#include <vector>

#include "app/settings.h"
#include "base/fsys.h"
#include "base/path.h"
#include "support/test_util.h"

using namespace zk;

namespace {

std::vector<std::wstring> Values(CZKLockedList& l) {
    std::vector<std::wstring> v;
    for (auto* e = l.First(); e; e = e->next) v.push_back(e->value);
    return v;
}

struct RecordingTargets : ISettingsTargets {
    void AuditFolderChanged(const std::wstring& f) override { audit.push_back(f); }
    void ContentListFlagChanged(bool on) override { lists.push_back(on); }
    void ChunkSizeChanged(uint64_t b) override { chunks.push_back(b); }
    void CredentialsChanged(const std::wstring& u, const std::wstring& n, const std::wstring& p) override {
        credentials.push_back(u + L"|" + n + L"|" + p);
    }
    std::vector<std::wstring> audit, credentials;
    std::vector<bool> lists;
    std::vector<uint64_t> chunks;
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        defaults = {L"http://auth.example/ru/99", L"loader", L"malvoro", L"*.kzo,*.wrx,*.jpg,*.lst", L"0", L"60", dir.Path()};
        rows.EnterDisplayList();
        settings.SetTargets(&targets);
    }
    const std::wstring S = std::wstring(1, kPathSep);
    test::TempDir dir{L"settings"};
    SettingsDefaults defaults;
    CStatRows rows;
    MemorySettingsStore store;
    CSettings settings{rows, store};
    RecordingTargets targets;
};

}  // namespace

TEST(SettingsParsing, CountsIntervalsAndChunkSizes) {
    uint32_t v = 7;
    EXPECT_TRUE(ParseCount(L"0042", v));
    EXPECT_EQ(v, 42u);
    for (const wchar_t* bad : {L"", L"-5", L"1 2", L" 1", L"+1", L"x", L"99999999999"}) EXPECT_FALSE(ParseCount(bad, v)) << test::Narrow(bad);
    EXPECT_EQ(AuthIntervalFrom(L"0"), 60);
    EXPECT_EQ(AuthIntervalFrom(L"601"), 60);
    EXPECT_EQ(AuthIntervalFrom(L"-5"), 60);
    EXPECT_EQ(AuthIntervalFrom(L"1 2"), 60);
    EXPECT_EQ(AuthIntervalFrom(L"600"), 600);
    EXPECT_EQ(AuthIntervalFrom(L"1"), 1);
    EXPECT_EQ(ChunkMegabytesFrom(L"0"), 0u);
    EXPECT_EQ(ChunkMegabytesFrom(L"many"), 10u);
    EXPECT_EQ(ChunkMegabytesFrom(L"2047"), 2047u);
    EXPECT_EQ(ChunkMegabytesFrom(L"2048"), 10u) << "2048 MB would overflow the byte count";
}

TEST(SettingsParsing, AuditFolderSuffix) {
    const std::wstring S(1, kPathSep);
    EXPECT_EQ(NormalizeAuditFolder(L"D:" + S + L"orders"), L"D:" + S + L"orders.UPLOAD");
    EXPECT_EQ(NormalizeAuditFolder(L"D:" + S + L"orders.UPLOAD" + S + S), L"D:" + S + L"orders.UPLOAD");
    EXPECT_EQ(NormalizeAuditFolder(L"x.UPLOAD.old"), L"x.UPLOAD.old.UPLOAD");
    EXPECT_EQ(NormalizeAuditFolder(L"a.UPLOAD.UPLOAD"), L"a.UPLOAD.UPLOAD.UPLOAD") << "the first occurrence decides";
}

TEST(SettingsParsing, ExtensionLists) {
    CZKLockedList list;
    ExtensionFlags f = BuildExtensionList(L"*.kzo,*.wrx,*.jpg,*.lst", list);
    EXPECT_EQ(Values(list), (std::vector<std::wstring>{L"kzo", L"wrx", L"jpg", L"jpeg", L"lst"}));
    EXPECT_TRUE(f.contentLists);
    EXPECT_FALSE(f.acceptAll);
    EXPECT_FALSE(f.journals);
    f = BuildExtensionList(L"*.*", list);
    EXPECT_TRUE(f.acceptAll);
    EXPECT_EQ(Values(list), (std::vector<std::wstring>{L"*"}));
    f = BuildExtensionList(L"*.JPG", list);
    EXPECT_EQ(Values(list), (std::vector<std::wstring>{L"JPG", L"jpeg"}));
    EXPECT_TRUE(ExtensionAccepted(L"a.jpg", list, f.acceptAll));
    EXPECT_TRUE(ExtensionAccepted(L"b.JPEG", list, f.acceptAll));
    EXPECT_FALSE(ExtensionAccepted(L"c.png", list, f.acceptAll));
    EXPECT_FALSE(ExtensionAccepted(L"noext", list, f.acceptAll));
    f = BuildExtensionList(L"*", list);
    EXPECT_FALSE(f.acceptAll) << "a token without a dot is ignored";
    EXPECT_EQ(list.Count(), 0);
    f = BuildExtensionList(L"*.log; *. lst ;*.kzo", list);
    EXPECT_TRUE(f.journals);
    EXPECT_TRUE(f.contentLists);
    EXPECT_EQ(Values(list), (std::vector<std::wstring>{L"log", L"lst", L"kzo"}));
    // A separator at the very front makes the rest one token.
    BuildExtensionList(L"*.kzo,,*.jpg", list);
    EXPECT_EQ(Values(list), (std::vector<std::wstring>{L"kzo", L"jpg", L"jpeg"}));
}

TEST_F(SettingsTest, FirstStartWritesEveryValueFromTheDefaults) {
    settings.Load(defaults);
    EXPECT_EQ(store.values.size(), 9u);
    EXPECT_EQ(store.values[L"AuthSrv"], L"http://auth.example/ru/99");
    EXPECT_EQ(store.values[L"AuthInterval"], L"60");
    EXPECT_EQ(store.values[L"UserName"], L"loader");
    EXPECT_EQ(store.values[L"Password"], L"malvoro");
    EXPECT_EQ(store.values[L"LogsFolder"], dir.Path());
    EXPECT_EQ(store.values[L"Exst"], L"*.kzo,*.wrx,*.jpg,*.lst");
    EXPECT_EQ(store.values[L"AuditFolder"], dir.Path() + S + L"audit.UPLOAD");
    EXPECT_EQ(store.values[L"ChunkSize"], L"0");
    EXPECT_EQ(store.values[L"NotifyDone"], L"да");
    EXPECT_TRUE(settings.NotifyDone());
    EXPECT_EQ(rows.auditPath.Value(), dir.Path() + S + L"audit.UPLOAD") << "no second .UPLOAD";
    EXPECT_TRUE(IsFolder(dir.Path() + S + L"audit.UPLOAD"));
    EXPECT_EQ(settings.ChunkMegabytes(), 0u);
    EXPECT_EQ(settings.ChunkBytes(), 0u);
    EXPECT_EQ(settings.AuthInterval(), 60);
    EXPECT_TRUE(settings.Flags().contentLists);
}

TEST_F(SettingsTest, StoredValuesOverrideAndAreNormalised) {
    store.values = {{L"AuthInterval", L"0"}, {L"ChunkSize", L"x"}, {L"AuditFolder", L"E:" + S + L"x.UPLOAD.old" + S},
                    {L"LogsFolder", dir / L"nowhere"}, {L"Exst", L"*.*"}, {L"UserName", L"\u0438\u0432\u0430\u043D"}};
    settings.Load(defaults);
    EXPECT_EQ(settings.AuthInterval(), 60);
    EXPECT_EQ(rows.authTimeout.Value(), L"0") << "the row text stays";
    EXPECT_EQ(settings.ChunkMegabytes(), 10u);
    EXPECT_EQ(rows.auditPath.Value(), L"E:" + S + L"x.UPLOAD.old.UPLOAD");
    EXPECT_EQ(rows.logsPath.Value(), dir.Path()) << "a missing logs folder falls back to the module folder";
    EXPECT_TRUE(settings.Flags().acceptAll);
    EXPECT_EQ(rows.userName.Value(), L"\u0438\u0432\u0430\u043D");
    EXPECT_EQ(store.values.size(), 9u) << "missing values written back";
}

TEST_F(SettingsTest, WriterRefusesBadEditsAndStoresEverythingOnSuccess) {
    settings.Load(defaults);
    store.writes = 0;
    for (const wchar_t* bad : {L"0", L"601", L"-5", L"1 2"}) {
        EXPECT_FALSE(settings.Write(rows.authTimeout, bad)) << test::Narrow(bad);
        EXPECT_EQ(rows.authTimeout.Value(), L"60");
    }
    EXPECT_FALSE(settings.Write(rows.uploadChunkSize, L"many"));
    EXPECT_FALSE(settings.Write(rows.uploadChunkSize, L"2048"));
    EXPECT_EQ(store.writes, 0) << "refused edits store nothing";
    EXPECT_TRUE(settings.Write(rows.authTimeout, L"15"));
    EXPECT_EQ(settings.AuthInterval(), 15);
    EXPECT_EQ(store.writes, 9) << "all nine values are written back";
    EXPECT_EQ(store.values[L"AuthInterval"], L"15");
    EXPECT_TRUE(settings.Write(rows.uploadChunkSize, L"20"));
    EXPECT_EQ(targets.chunks, (std::vector<uint64_t>{20ull << 20}));
    EXPECT_EQ(settings.ChunkBytes(), 20ull << 20);
    store.writes = 0;
    EXPECT_TRUE(settings.Write(rows.uploadChunkSize, L"20"));
    EXPECT_EQ(store.writes, 0) << "an unchanged value does nothing";
}

TEST_F(SettingsTest, ARefusedEditSaysWhyInTheLastErrorRowUntilAnEditIsTaken) {
    settings.Load(defaults);
    store.writes = 0;
    EXPECT_FALSE(settings.CommitEdit(rows.authTimeout, L" 0 "));
    EXPECT_EQ(rows.authTimeout.Value(), L"60");
    EXPECT_EQ(rows.lastError.Value(), L"Интервал авторизации не изменён: нужно целое число минут от 1 до 600");
    EXPECT_FALSE(settings.CommitEdit(rows.uploadChunkSize, L"ten"));
    EXPECT_EQ(rows.lastError.Value(), L"Макс. размер файла не изменён: нужно целое число мегабайт от 0 до 2047");
    EXPECT_EQ(store.writes, 0);
    // The server's pushed values are refused quietly: the user did not type them.
    rows.lastError.SetValue(L"");
    EXPECT_FALSE(settings.Write(rows.authTimeout, L"601"));
    EXPECT_EQ(rows.lastError.Value(), L"");
    EXPECT_FALSE(settings.CommitEdit(rows.authTimeout, L"601"));
    EXPECT_TRUE(settings.CommitEdit(rows.userName, L"studio"));
    EXPECT_EQ(rows.lastError.Value(), L"") << "an accepted edit takes the refusal away";
    EXPECT_EQ(store.values[L"UserName"], L"studio");
}

TEST_F(SettingsTest, WriterAppliesFoldersTypesAndCredentials) {
    settings.Load(defaults);
    EXPECT_TRUE(settings.Write(rows.auditPath, dir / L"orders" + S));
    EXPECT_EQ(rows.auditPath.Value(), dir / L"orders.UPLOAD");
    EXPECT_EQ(targets.audit, (std::vector<std::wstring>{dir / L"orders.UPLOAD"}));
    EXPECT_TRUE(settings.Write(rows.fileTypes, L"*.jpg"));
    EXPECT_EQ(targets.lists, (std::vector<bool>{false}));
    EXPECT_FALSE(settings.Flags().contentLists);
    EXPECT_TRUE(settings.Write(rows.logsPath, dir / L"missing"));
    EXPECT_EQ(rows.logsPath.Value(), dir.Path());
    // The editor's commit is trimmed.
    EXPECT_TRUE(settings.CommitEdit(rows.userPasswd, L"  secret  "));
    EXPECT_EQ(rows.userPasswd.Value(), L"secret");
    ASSERT_EQ(targets.credentials.size(), 1u);
    EXPECT_EQ(targets.credentials[0], L"http://auth.example/ru/99|loader|secret");
    EXPECT_TRUE(settings.CommitEdit(rows.authTimeout, L"  30  ")) << "trimmed before it is parsed";
    EXPECT_EQ(rows.authTimeout.Value(), L"30");
    EXPECT_EQ(settings.AuthInterval(), 30);
    // A value pushed empty is ignored: it neither clears the row nor takes an editor's text.
    EXPECT_FALSE(settings.WriteByKey(L"USER_PASSWD", L""));
    EXPECT_EQ(rows.userPasswd.Value(), L"secret");
    EXPECT_EQ(targets.credentials.size(), 1u);
    // Pushed by the server: rows by key, ignoring case; unknown keys are ignored.
    EXPECT_TRUE(settings.WriteByKey(L"upload_chunk_size", L"5"));
    EXPECT_EQ(settings.ChunkMegabytes(), 5u);
    EXPECT_FALSE(settings.WriteByKey(L"NO_SUCH_ROW", L"x"));
}

TEST_F(SettingsTest, UnavailableStoreKeepsTheDefaults) {
    store.available = false;
    settings.Load(defaults);
    EXPECT_TRUE(store.values.empty());
    EXPECT_EQ(rows.userName.Value(), L"loader");
    EXPECT_TRUE(settings.Write(rows.userName, L"other"));
    EXPECT_TRUE(store.values.empty());
}

TEST_F(SettingsTest, TheUploadLimitIsReadButNeverWritten) {
    settings.Load(defaults);
    EXPECT_EQ(settings.UploadLimit(), 0u) << "absent: no limit";
    EXPECT_EQ(store.values.count(L"UploadLimitKBps"), 0u) << "and not added to the key";
    EXPECT_TRUE(settings.Write(rows.authTimeout, L"15"));
    EXPECT_EQ(store.values.count(L"UploadLimitKBps"), 0u) << "nor by a later write of the eight";

    for (auto [text, limit] : std::initializer_list<std::pair<const wchar_t*, uint32_t>>{
             {L"500", 500}, {L" 64 ", 64}, {L"0", 0}, {L"", 0}, {L"fast", 0}, {L"-5", 0}, {L"99999999999", 0}}) {
        MemorySettingsStore other;
        other.values[L"UploadLimitKBps"] = text;
        CStatRows otherRows;
        otherRows.EnterDisplayList();
        CSettings s{otherRows, other};
        s.Load(defaults);
        EXPECT_EQ(s.UploadLimit(), limit) << test::Narrow(text);
        EXPECT_EQ(other.values[L"UploadLimitKBps"], text) << "the stored text stays as it was";
        EXPECT_EQ(other.values.size(), 10u);
    }
}

// The notifications of orders sent: on as shipped, off by an edit, a pushed setting or the store.
TEST_F(SettingsTest, TheDoneNotificationsAreSwitchedByYesOrNo) {
    const struct {
        const wchar_t* stored;
        const wchar_t* row;
    } loads[] = {{L"нет", L"нет"}, {L" OFF ", L"нет"}, {L"0", L"нет"}, {L"Да", L"да"}, {L"maybe", L"да"}};
    for (const auto& c : loads) {
        MemorySettingsStore other;
        other.values[L"NotifyDone"] = c.stored;
        CStatRows otherRows;
        otherRows.EnterDisplayList();
        CSettings s{otherRows, other};
        s.Load(defaults);
        EXPECT_EQ(otherRows.notifyDone.Value(), c.row) << test::Narrow(c.stored);
        EXPECT_EQ(s.NotifyDone(), std::wstring(c.row) == L"да");
    }
    settings.Load(defaults);
    EXPECT_FALSE(settings.CommitEdit(rows.notifyDone, L"иногда"));
    EXPECT_EQ(rows.lastError.Value(), L"«Сообщать об отправке» не изменено: нужно «да» или «нет»");
    EXPECT_TRUE(settings.CommitEdit(rows.notifyDone, L" НЕТ "));
    EXPECT_FALSE(settings.NotifyDone());
    EXPECT_EQ(store.values[L"NotifyDone"], L"нет");
    EXPECT_TRUE(settings.WriteByKey(L"notify_done", L"1")) << "as the server pushes it";
    EXPECT_TRUE(settings.NotifyDone());
    EXPECT_EQ(store.values[L"NotifyDone"], L"да");
}
