#include <gtest/gtest.h>

#include "http/client_map.h"
#include "http/http_errors.h"
#include "http/post_stat.h"

using namespace zk;

TEST(ClientMap, OrderedCaseInsensitiveMultimap) {
    CHttpClientMapT m;
    m.Add(L"IMAGE", L"img", 1);
    m.Add(L"x", L"first");
    m.Add(L"DESCRIPTOR", L"desc", 1);
    m.Add(L"X", L"second");
    m.Add(L"n", nullptr);
    ASSERT_EQ(m.Count(), 5u);
    const auto& e = m.Entries();
    EXPECT_EQ(e[0].name, L"DESCRIPTOR");
    EXPECT_EQ(e[1].name, L"IMAGE");
    EXPECT_EQ(e[2].name, L"n");
    EXPECT_EQ(*e[3].value, L"first");
    EXPECT_EQ(*e[4].value, L"second");
    EXPECT_EQ(m.Count(L"x"), 2u);
    EXPECT_EQ(*m.Get(L"X")->value, L"first");
    EXPECT_STREQ(m.Get(L"N")->ValueOrEmpty(), L"");
    EXPECT_EQ(m.Get(L"absent"), nullptr);
    m.RemoveAll(L"x");
    EXPECT_EQ(m.Count(), 3u);
    try {
        m.Add(nullptr, L"v");
        FAIL();
    } catch (const httpclientexceptionW& ex) {
        EXPECT_STREQ(ex.Message(), L"CHttpClientMapT::Add: szName can not be NULL.");
    }
}

TEST(PostStat, InactiveRecordRefusesEveryAccessor) {
    CHttpPostStatT s;
    try {
        (void)s.TotalCount();
        FAIL();
    } catch (const httpclientexceptionW& e) {
        EXPECT_STREQ(e.Message(), L"CHttpPostStatT::TotalCount: The post context is not active.");
    }
    EXPECT_THROW((void)s.ActualPostedByte(), httpclientexceptionW);
    EXPECT_THROW((void)s.CurrParamIsComplete(), httpclientexceptionW);
}

TEST(PostStat, CountersAndCopies) {
    CHttpPostStatT s;
    s.Activate(1000, 300, 2, 1);
    EXPECT_TRUE(s.CurrParamIsComplete()) << "no part started yet";
    EXPECT_EQ(s.CurrParamRemainByte(), 0u);
    s.StartNewEntry(L"IMAGE", L"C:\\a.jpg", 300);
    EXPECT_EQ(s.PostedCount(), 1u);
    EXPECT_EQ(s.PostedFileCount(), 1u);
    EXPECT_TRUE(s.CurrParamIsFile());
    s.AddPostedBytes(100);
    s.AddActualPostedBytes(150);
    EXPECT_EQ(s.CurrParamRemainByte(), 200u);
    CHttpPostStatT copy = s;
    s.StartNewEntry(L"t", nullptr, 0);
    EXPECT_FALSE(s.CurrParamIsFile());
    EXPECT_EQ(copy.CurrParamPostedByte(), 100u);
    EXPECT_EQ(*copy.CurrParamPath(), L"C:\\a.jpg");
    EXPECT_THROW(s.AddActualPostedBytes(0xFFFFFFFFu), httpclientexceptionW);
    EXPECT_EQ(s.ActualPostedByte(), 150u) << "an overflow changes nothing";
    s.Reset();
    EXPECT_FALSE(s.IsActive());
}
