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

TEST(RegistryStore, FirstStartCreatesAllEightValues) {
    DeleteKey();
    test::TempDir dir(L"regstart");
    CStatRows rows;
    rows.EnterDisplayList();
    CRegistrySettingsStore store(kClass);
    CSettings settings(rows, store);
    settings.Load({L"http://auth/ru/99", L"loader", L"malvoro", L"*.jpg", L"0", L"60", dir.Path()});
    ASSERT_TRUE(store.Open());
    for (const wchar_t* name : {L"AuthSrv", L"AuthInterval", L"UserName", L"Password", L"LogsFolder", L"Exst", L"AuditFolder", L"ChunkSize"})
        EXPECT_TRUE(store.Read(name).has_value()) << test::Narrow(name);
    EXPECT_EQ(store.Read(L"AuditFolder").value_or(L""), dir.Path() + L"\\audit.UPLOAD");
    store.Close();
    DeleteKey();
}
