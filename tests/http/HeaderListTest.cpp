// The request header list: finding a header by name and setting, replacing
// and removing its line, on unsorted and sorted lists.

#include "Exception.h"
#include "TExStringList.h"

#include <gtest/gtest.h>

#include <vector>

using zel::TExStringList;

namespace {

std::vector<std::string> Lines(const TExStringList& list) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < list.Count(); ++i)
        lines.push_back(list[i]);
    return lines;
}

} // namespace

TEST(HeaderList, SetHeaderAppendsThenReplacesInPlaceWhateverTheCase) {
    TExStringList list;
    list.SetHeader("Host", "h");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"Host: h"}));

    list.Add("Accept: */*");
    list.SetHeader("Host", "k");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"Host: k", "Accept: */*"}));

    list.SetHeader("host", "m");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"host: m", "Accept: */*"}));
    EXPECT_EQ(list.Text(), "host: m\r\nAccept: */*\r\n");
}

TEST(HeaderList, EmptyValueRemovesTheLineOrDoesNothing) {
    TExStringList list;
    list.Add("Cookie: a=b");
    list.Add("Accept: */*");
    list.SetHeader("Cookie", "");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"Accept: */*"}));
    list.SetHeader("Cookie", "");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"Accept: */*"}));
}

TEST(HeaderList, UnsortedSearchSkipsLinesWithoutColonAndFindsTheFirstMatch) {
    TExStringList list;
    list.Add("GET http://h/a HTTP/1.0"); // a proxy request line: name "GET http"
    list.Add("Host");
    list.Add("Accept: a");
    list.Add("ACCEPT: b");
    EXPECT_EQ(list.IndexOfHeader("Host"), -1);
    EXPECT_EQ(list.IndexOfHeader("accept"), 2);
    EXPECT_EQ(list.IndexOfHeader("GET http"), 0);
    EXPECT_EQ(list.IndexOfHeader(""), -1);
}

TEST(HeaderList, SortedSearchFindsEveryHeaderByBinarySearch) {
    TExStringList list;
    EXPECT_EQ(list.IndexOfHeader("Host"), -1);
    list.SetSorted(true);
    for (const char* line :
         {"User-Agent: u", "Accept: a", "Host: h", "cookie: c", "From: f", "Referer: r", "Date: d"})
        list.Add(line);
    EXPECT_EQ(list[0], "Accept: a");
    EXPECT_EQ(list[1], "cookie: c");
    for (const char* name : {"User-Agent", "ACCEPT", "host", "Cookie", "From", "Referer", "Date"}) {
        int index = list.IndexOfHeader(name);
        ASSERT_GE(index, 0) << name;
        EXPECT_EQ(zel::TStringList::CompareText(
                      TExStringList::HeaderName(list[static_cast<std::size_t>(index)]), name),
                  0);
    }
    EXPECT_EQ(list.IndexOfHeader("Connection"), -1);
    EXPECT_EQ(list.IndexOfHeader("Zzz"), -1);
}

TEST(HeaderList, SortedListRefusesSettingButAllowsRemoving) {
    TExStringList list;
    list.Add("Host: h");
    list.Add("Cookie: c");
    list.SetSorted(true);
    EXPECT_THROW(list.SetHeader("Host", "k"), zel::Exception);
    EXPECT_THROW(list.SetHeader("From", "f"), zel::Exception);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"Cookie: c", "Host: h"}));
    list.SetHeader("Cookie", "");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"Host: h"}));
}
