// The registry store under Wine: REG_SZ values written by their characters, read back whole.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/registry_store.h"
#include "app/settings.h"
#include "support/test_util.h"

using namespace zk;

namespace {
const std::wstring kClass = L"ZK_TEST_STORE_" + std::to_wstring(GetCurrentProcessId());
void DeleteKey() { RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\ZELTAVIO\\" + kClass).c_str()); }
}  // namespace

TEST(RegistryStore, ValuesRoundTrip) {
    DeleteKey();
    CRegistrySettingsStore store(kClass);
    EXPECT_EQ(store.KeyPath(), L"Software\\ZELTAVIO\\" + kClass);
    ASSERT_TRUE(store.Open());
    EXPECT_FALSE(store.Read(L"UserName").has_value());
    ASSERT_TRUE(store.Write(L"UserName", L"\u0438\u0432\u0430\u043D"));
    store.Close();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, store.KeyPath().c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, bytes = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"UserName", nullptr, &type, nullptr, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    // The byte count passed is 2 x 4 without a terminator; the system may add one when storing.
    EXPECT_TRUE(bytes == 8u || bytes == 10u) << bytes;
    RegCloseKey(key);
    ASSERT_TRUE(store.Open());
    EXPECT_EQ(store.Read(L"UserName").value_or(L""), L"\u0438\u0432\u0430\u043D");
    const std::wstring longPath(300, L'p');
    ASSERT_TRUE(store.Write(L"AuditFolder", longPath));
    EXPECT_EQ(store.Read(L"AuditFolder").value_or(L""), longPath) << "long values are read whole";
    store.Close();
    DeleteKey();
}

TEST(RegistryStore, FirstStartCreatesAllNineValues) {
    DeleteKey();
    test::TempDir dir(L"regstart");
    CStatRows rows;
    rows.EnterDisplayList();
    CRegistrySettingsStore store(kClass);
    CSettings settings(rows, store);
    settings.Load({L"http://auth/ru/99", L"loader", L"malvoro", L"*.jpg", L"0", L"60", dir.Path()});
    ASSERT_TRUE(store.Open());
    for (const wchar_t* name :
         {L"AuthSrv", L"AuthInterval", L"UserName", L"Password", L"LogsFolder", L"Exst", L"AuditFolder", L"ChunkSize", L"NotifyDone"})
        EXPECT_TRUE(store.Read(name).has_value()) << test::Narrow(name);
    EXPECT_EQ(store.Read(L"AuditFolder").value_or(L""), dir.Path() + L"\\audit.UPLOAD");
    EXPECT_EQ(store.Read(L"NotifyDone").value_or(L""), L"да") << "Cyrillic text in a REG_SZ";
    store.Close();
    DeleteKey();
}

TEST(RegistryStore, AdministratorsExpandableAndNumericValuesAreReadAndKept) {
    DeleteKey();
    test::TempDir dir(L"regtypes");
    const std::wstring keyPath = L"Software\\ZELTAVIO\\" + kClass;
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw, nullptr), ERROR_SUCCESS);
    UniqueHkey key(raw);
    ASSERT_TRUE(SetEnvironmentVariableW(L"ZK_ORDERS_ROOT", dir.Path().c_str()));
    const std::wstring expandable = L"%ZK_ORDERS_ROOT%\\admin.UPLOAD";
    ASSERT_EQ(RegSetValueExW(key.get(), L"AuditFolder", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expandable.c_str()),
                             static_cast<DWORD>((expandable.size() + 1) * 2)),
              ERROR_SUCCESS);
    const DWORD five = 5;
    ASSERT_EQ(RegSetValueExW(key.get(), L"ChunkSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&five), sizeof five), ERROR_SUCCESS);

    CStatRows rows;
    rows.EnterDisplayList();
    CRegistrySettingsStore store(kClass);
    CSettings settings(rows, store);
    settings.Load({L"http://auth/ru/99", L"loader", L"malvoro", L"*.jpg", L"0", L"60", dir.Path()});
    EXPECT_EQ(rows.auditPath.Value(), dir.Path() + L"\\admin.UPLOAD") << "read and expanded, not the default";
    EXPECT_EQ(settings.ChunkMegabytes(), 5u);

    auto typeAndText = [&](const wchar_t* name) {
        DWORD type = 0;
        wchar_t buf[512] = {};
        DWORD bytes = sizeof buf - 2;
        RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &bytes);
        return std::make_pair(type, std::wstring(buf));
    };
    // Another setting changes: every value is written back, the administrator's keep their form.
    EXPECT_TRUE(settings.Write(rows.userName, L"other"));
    EXPECT_EQ(typeAndText(L"AuditFolder"), std::make_pair(static_cast<DWORD>(REG_EXPAND_SZ), expandable));
    EXPECT_EQ(typeAndText(L"ChunkSize").first, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(typeAndText(L"UserName"), std::make_pair(static_cast<DWORD>(REG_SZ), std::wstring(L"other")));
    // An edit of the folder itself stores the new text.
    EXPECT_TRUE(settings.Write(rows.auditPath, dir / L"new"));
    EXPECT_EQ(typeAndText(L"AuditFolder"), std::make_pair(static_cast<DWORD>(REG_SZ), dir / L"new.UPLOAD"));
    key.reset();
    DeleteKey();
}
