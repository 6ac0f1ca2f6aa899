// Discovery without a network: dates, version keys, selection, the index-page parse, the
// freshness decision and the driver's sequence over a scripted protocol object.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <float.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <memory>
#include <vector>

#include "config/setting.h"
#include "discovery/date_time.h"
#include "discovery/discovery_state.h"
#include "discovery/driver.h"
#include "discovery/get_info.h"
#include "discovery/session.h"
#include "discovery/http.h"
#include "discovery/listing_layouts.h"
#include "discovery/selection.h"
#include "discovery_fixture.h"
#include "host/host_config.h"
#include "host/progress_window.h"
#include "plugin/host_module.h"
#include "support/handles.h"
#include "test_support.h"

using GetInfo::file_info;
using GetInfo::file_list;
using testing::ElementsAre;
using testing_support::set_write_time;
using testing_support::system_time;

namespace {

date_time present(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0,
                  WORD millisecond = 0) {
  date_time t;
  t.value = system_time(year, month, day, hour, minute, second, millisecond);
  t.valid = true;
  return t;
}

file_info entry(const std::string& name, std::uint32_t size = 0, date_time time = {}) {
  file_info e;
  e.name = name;
  e.size = size;
  e.time = time;
  return e;
}

class Discovery : public testing_support::DiscoveryTest {};

}  // namespace

// --- dates -----------------------------------------------------------------------------------

TEST(DateTime, DayOfWeekMatchesTheCalendar) {
  EXPECT_EQ(6, day_of_week(2000, 1, 1));
  EXPECT_EQ(0, day_of_week(2004, 2, 29));
  EXPECT_EQ(6, day_of_week(2011, 3, 5));
  EXPECT_EQ(1, day_of_week(1601, 1, 1));
  // Against the system's own calendar for a whole leap year and its neighbours.
  for (WORD year : {1999, 2000, 2100}) {
    for (WORD month = 1; month <= 12; ++month) {
      for (WORD day = 1; day <= 28; day += 9) {
        SYSTEMTIME t = system_time(year, month, day);
        FILETIME f;
        ASSERT_TRUE(SystemTimeToFileTime(&t, &f));
        SYSTEMTIME back;
        ASSERT_TRUE(FileTimeToSystemTime(&f, &back));
        EXPECT_EQ(back.wDayOfWeek, day_of_week(year, month, day))
            << year << "-" << month << "-" << day;
      }
    }
  }
}

TEST(DateTime, BoundsDecideValidity) {
  EXPECT_FALSE(make_date_time(1600, 12, 31, 23, 59, 59, 999).valid);
  EXPECT_TRUE(make_date_time(1601, 1, 1, 0, 0, 0, 0).valid);
  EXPECT_TRUE(make_date_time(2011, 3, 5, 14, 7, 0, 1000).valid);
  EXPECT_FALSE(make_date_time(2011, 3, 5, 14, 7, 0, 1001).valid);
  EXPECT_TRUE(make_date_time(2011, 0, 0, 0, 0, 0, 0).valid);  // no lower bound
  EXPECT_FALSE(make_date_time(2011, 13, 1, 0, 0, 0, 0).valid);
  EXPECT_FALSE(make_date_time(2011, 65535, 1, 0, 0, 0, 0).valid);  // month -1 from the parse
  EXPECT_FALSE(make_date_time(2011, 1, 32, 0, 0, 0, 0).valid);
  EXPECT_FALSE(make_date_time(2011, 1, 1, 24, 0, 0, 0).valid);
  EXPECT_FALSE(make_date_time(2011, 1, 1, 0, 60, 0, 0).valid);
  EXPECT_FALSE(make_date_time(2011, 1, 1, 0, 0, 60, 0).valid);

  const date_time t = make_date_time(2011, 3, 5, 14, 7, 0, 0);
  EXPECT_EQ(6, t.value.wDayOfWeek);
  EXPECT_EQ(2011, t.value.wYear);
  EXPECT_EQ(14, t.value.wHour);

  date_time odd = present(2011, 3, 5);
  odd.value.wDayOfWeek = 8;
  EXPECT_FALSE(check_date_time(odd));
  EXPECT_FALSE(odd.valid);
}

TEST(DateTime, YearlessDaysTakeTheServersYearWithinADay) {
  const struct {
    WORD year, month, day;  // now, UTC
    int written_month, written_day, year_read;
  } rows[] = {
      {2024, 12, 31, 1, 1, 2025},  // a server east of UTC already in the new year
      {2024, 12, 31, 12, 31, 2024}, {2025, 1, 1, 1, 2, 2025},   {2025, 1, 1, 1, 3, 2024},
      {2025, 1, 1, 12, 31, 2024},   {2025, 2, 28, 3, 1, 2025},  {2025, 3, 31, 4, 1, 2025},
      {2025, 4, 30, 5, 2, 2024},    {2024, 2, 28, 2, 29, 2024}, {2025, 3, 1, 2, 29, 2024},
  };
  for (const auto& row : rows) {
    const SYSTEMTIME now = system_time(row.year, row.month, row.day, 20);
    EXPECT_EQ(row.year_read, GetInfo::yearless_year(row.written_month, row.written_day, now))
        << row.year << "-" << row.month << "-" << row.day << ": " << row.written_month << "/"
        << row.written_day;
  }
}

TEST(DateTime, AbsentSortsFirstAndEqualsOnlyAbsent) {
  const date_time none;
  const date_time a = present(2011, 3, 5, 14, 7);
  const date_time b = present(2011, 3, 5, 14, 7, 1);
  EXPECT_FALSE(date_time_less(none, none));
  EXPECT_TRUE(date_time_less(none, a));
  EXPECT_FALSE(date_time_less(a, none));
  EXPECT_TRUE(date_time_less(a, b));
  EXPECT_FALSE(date_time_less(b, a));
  EXPECT_FALSE(date_time_less(a, a));
  EXPECT_TRUE(date_time_equal(none, none));
  EXPECT_FALSE(date_time_equal(none, a));
  EXPECT_FALSE(date_time_equal(a, none));
  EXPECT_TRUE(date_time_equal(a, present(2011, 3, 5, 14, 7)));
  EXPECT_FALSE(date_time_equal(a, b));
  // The day of the week is not part of the instant.
  date_time weekday = a;
  weekday.value.wDayOfWeek = 3;
  EXPECT_TRUE(date_time_equal(a, weekday));
}

TEST(DateTime, ValuesWithoutAnInstantOrderByTheirFields) {
  const date_time april31 = present(2011, 4, 31, 12, 0);
  const date_time april30 = present(2011, 4, 30, 12, 0);
  const date_time may1 = present(2011, 5, 1, 0, 0);
  const date_time month0 = present(2011, 0, 0);
  EXPECT_TRUE(date_time_less(april30, april31));
  EXPECT_TRUE(date_time_less(april31, may1));
  EXPECT_FALSE(date_time_less(april31, april31));
  EXPECT_TRUE(date_time_equal(april31, present(2011, 4, 31, 12, 0)));
  EXPECT_TRUE(date_time_less(month0, present(2011, 1, 1)));
  EXPECT_TRUE(date_time_less(present(2010, 12, 31), month0));
  // 1000 milliseconds: after .999 of the same second, before the next second.
  const date_time ms1000 = present(2011, 1, 1, 0, 0, 0, 1000);
  EXPECT_TRUE(date_time_less(present(2011, 1, 1, 0, 0, 0, 999), ms1000));
  EXPECT_TRUE(date_time_less(ms1000, present(2011, 1, 1, 0, 0, 1, 0)));
}

TEST(DateTime, LocalFileTimeReadsTheLastWriteTime) {
  testing_support::ScratchDir dir("file-time");
  const std::string path = dir.file(kLocalArchiveName);
  testing_support::write_file(path, "x");
  set_write_time(path, system_time(2011, 3, 5, 14, 7, 30));
  const date_time t = local_file_time(path);
  ASSERT_TRUE(t.valid);
  EXPECT_TRUE(date_time_equal(t, present(2011, 3, 5, 14, 7, 30)));
  EXPECT_FALSE(local_file_time(dir.file("missing.tar.xz")).valid);
  EXPECT_FALSE(local_file_time(dir.path()).valid);  // a directory cannot be opened as a file
  // Opened without sharing: a file someone holds open cannot be read.
  orelib::file_handle held(
      CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  EXPECT_FALSE(local_file_time(path).valid);
  held.reset();
  EXPECT_TRUE(local_file_time(path).valid);
}

// --- version keys and the choice -------------------------------------------------------------

TEST(VersionKey, EveryDigitCounts) {
  EXPECT_EQ(330232, GetInfo::version_key("ispell-3.3.02-w32.tar.xz"));
  EXPECT_EQ(0, GetInfo::version_key("ispell-w.tar.xz"));
  EXPECT_EQ(0, GetInfo::version_key(""));
  EXPECT_EQ(7, GetInfo::version_key("0007"));
  EXPECT_EQ(2147483647, GetInfo::version_key("ispell-2147483647"));
  EXPECT_EQ(2147483647, GetInfo::version_key("ispell-2147483648"));
  EXPECT_EQ(2147483647, GetInfo::version_key("ispell-99999999999999999999-w32.tar.xz"));
}

TEST(VersionKey, TrailBytesAreNeverDigits) {
  // A lead byte followed by a digit byte: the digit belongs to the character and is skipped.
  EXPECT_EQ(12, GetInfo::version_key("1\x83"
                                     "9"
                                     "2"));
  EXPECT_EQ(12, GetInfo::version_key("1\x95\x5C"
                                     "2"));  // 表, trail byte 0x5C
  // 日本語 in Shift-JIS around the version.
  EXPECT_EQ(330532, GetInfo::version_key("ispell-\x93\xFA\x96\x7B\x8C\xEA-3.3.05-w32.tar.xz"));
  // Half-width katakana are single bytes; a lone lead byte at the very end is harmless.
  EXPECT_EQ(330432, GetInfo::version_key("ispell-\xB6\xC5-3.3.04-w32.tar.xz\x83"));
}

TEST(PickNewest, LargestKeyEarliestOnTies) {
  const file_info none = GetInfo::pick_newest({});
  EXPECT_EQ("", none.name);
  EXPECT_EQ(0u, none.size);
  EXPECT_FALSE(none.time.valid);

  const file_list list = {entry("ispell-3.3.01-w32.tar.xz", 1),
                          entry("ispell-3.3.02-w32.tar.xz", 2, present(2011, 3, 5)),
                          entry("ispell-3.3.02-w32.tar.xz.sig", 3),
                          entry("ispell-3.3.00-w32.tar.xz", 4, present(2020, 1, 1))};
  const file_info chosen = GetInfo::pick_newest(list);
  EXPECT_EQ("ispell-3.3.02-w32.tar.xz", chosen.name);
  EXPECT_EQ(2u, chosen.size);
  EXPECT_TRUE(date_time_equal(chosen.time, present(2011, 3, 5)));

  const file_list saturated = {entry("a-99999999999-w32.tar.xz", 1),
                               entry("b-88888888888-w32.tar.xz", 2)};
  EXPECT_EQ(1u, GetInfo::pick_newest(saturated).size);
}

class Selection : public Discovery {
 protected:
  GetInfo::archive_choice choose(const file_list& listing,
                                 const GetInfo::url_parts& where = {"http", "mirror.test", "/pub/"},
                                 GetInfo::listed_names kind = GetInfo::listed_names::links) {
    HostModule host;
    EXPECT_TRUE(host.bind());
    return GetInfo::select_archive(host, listing, where, kind);
  }
};

TEST_F(Selection, FilterThenNewest) {
  const file_list listing = {entry("README"),
                             entry("ispell-3.3.01-w32.tar.xz", 1),
                             entry("old-99/"),
                             entry("ispell-3.3.02-w64.tar.xz", 2),
                             entry("emacs-99.9-w32.tar.xz", 3),
                             entry("ispell-3.3.02-w32.tar.xz", 4),
                             entry("ispell-3.3.02-w32.tar.xz.sig", 5),
                             entry("ispell-3.3.02-w32xtarxxz", 6)};
  EXPECT_EQ(4u, choose(listing).file.size);
  EXPECT_EQ("http://mirror.test/pub/ispell-3.3.02-w32.tar.xz", choose(listing).url);
  EXPECT_EQ("", choose({entry("README"), entry("a-w32.tar.gz")}).file.name);
  // Equal keys: the earliest archive wins; a larger key on a name that does not match takes
  // no part.
  const file_list ties = {entry("ispell-9.9.99-w64.tar.xz", 1),
                          entry("ispell-3.3.02-w32.tar.xz", 2),
                          entry("ispell_3.3.02-w32.tar.xz", 3)};
  EXPECT_EQ(2u, choose(ties).file.size);
  // A link that no download can follow takes no part, however new.
  const file_list schemes = {
      entry("ispell-3.3.02-w32.tar.xz", 1), entry("file:///C:/ispell-9.9.99-w32.tar.xz", 2),
      entry("javascript:ispell-9.9.98-w32.tar.xz", 3), entry("http:ispell-9.9.97-w32.tar.xz", 5),
      entry("https://elsewhere/ispell-3.3.03-w32.tar.xz", 4)};
  EXPECT_EQ(4u, choose(schemes).file.size);
}

TEST_F(Selection, OnlyTheArchiveByItsOwnName) {
  struct Row {
    const char* why;
    file_list listing;
    std::uint32_t size;  // of the chosen entry; 0 for none
    std::string url;
  };
  const std::string folder(70000, 'd');
  const Row rows[] = {
      {"files beside the archive are not the archive, whatever their digits",
       {entry("ispell-3.3.02-w32.tar.xz", 1), entry("ispell-3.3.02-w32.tar.xz.sha256", 2),
        entry("ispell-3.3.02-w32.tar.xz.sha512", 3), entry("ispell-3.3.02-w32.tar.xz.md5", 4),
        entry("ispell-3.3.03-w32.tar.xz.asc", 5), entry("ispell-3.3.03-w32.tar.xz.part", 6),
        entry("ispell-3.3.03-w32.tar.xz~", 7), entry("ispell-3.3.04-w32.tar.xz/", 8)},
       1,
       "http://mirror.test/pub/ispell-3.3.02-w32.tar.xz"},
      {"the digits of folders and host do not count",
       {entry("http://mirror9.test:8080/2011/ispell-3.3.01-w32.tar.xz", 1),
        entry("/mirror/2011/ispell-3.3.01-w32.tar.xz", 2), entry("ispell-3.3.02-w32.tar.xz", 3),
        entry("ispell-3.3.02-w32.tar.xz?mirror=99", 4), entry("ispell-3.3.02-w32.tar.xz#99", 5)},
       3,
       "http://mirror.test/pub/ispell-3.3.02-w32.tar.xz"},
      {"a percent escape is the byte it stands for",
       {entry("ispell%20-3.3.01-w32.tar.xz", 1), entry("ispell-3.3.02-w32.tar.xz", 2),
        entry("ispell-3.3.03-w32.tar.xz%7E", 3)},
       2,
       "http://mirror.test/pub/ispell-3.3.02-w32.tar.xz"},
      {"a query after the archive's name",
       {entry("ispell-3.3.02-w32.tar.xz?download", 1)},
       1,
       "http://mirror.test/pub/ispell-3.3.02-w32.tar.xz?download"},
      {"character references are decoded before the digits are read",
       {entry("ispell-3.3.01-&#38;-w32.tar.xz", 1), entry("ispell-3.3.02-w32.tar.xz", 2),
        entry("a&amp;b/ispell-3.3.02-w32.tar.xz", 3)},
       2,
       "http://mirror.test/pub/ispell-3.3.02-w32.tar.xz"},
      {"bad input: only the suffix, stray escapes, a long link",
       {entry(".tar.xz", 1), entry("ispell-%zz-w32.tar.xz", 2), entry("ispell-%-w32.tar.xz&amp", 3),
        entry("/" + folder + "/ispell-3.3.01-w32.tar.xz", 4)},
       4,
       "http://mirror.test/" + folder + "/ispell-3.3.01-w32.tar.xz"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    const GetInfo::archive_choice chosen = choose(row.listing);
    EXPECT_EQ(row.size, chosen.file.size);
    EXPECT_EQ(row.url, chosen.url);
  }
  // An FTP listing gives file names, not links: taken as they are.
  const GetInfo::url_parts ftp{"ftp", "ftp.test", "/pub/"};
  const GetInfo::archive_choice file =
      choose({entry("ispell-3.3.02-w32.tar.xz", 1), entry("ispell-3.3.03-w32.tar.xz.sha256", 2),
              entry("a&amp;b-ispell-3.3.03-w32.tar.xz", 3)},
             ftp, GetInfo::listed_names::file_names);
  EXPECT_EQ(3u, file.file.size);
  EXPECT_EQ("ftp://ftp.test/pub/a&amp;b-ispell-3.3.03-w32.tar.xz", file.url);
}

TEST_F(Selection, AnHttpsPageLeadsOnlyToHttps) {
  const file_list listing = {entry("https://other.test/ispell-3.3.01-w32.tar.xz", 1),
                             entry("http://other.test/ispell-3.3.03-w32.tar.xz", 2),
                             entry("ftp://other.test/ispell-3.3.04-w32.tar.xz", 3),
                             entry("ispell-3.3.02-w32.tar.xz", 4)};
  const GetInfo::archive_choice chosen = choose(listing, {"https", "mirror.test", "/pub/"});
  EXPECT_EQ(4u, chosen.file.size);
  EXPECT_EQ("https://mirror.test/pub/ispell-3.3.02-w32.tar.xz", chosen.url);
  EXPECT_THAT(log(), ElementsAre("httpsのページからhttpへのリンクは拒否しました．"));
  // The same links on an http page are followed.
  EXPECT_EQ(3u, choose(listing).file.size);
}

// --- index page parse ------------------------------------------------------------------------

// As the mirror's web server writes its index (copied from its output).
const char kNginxPage[] =
    "<html>\r\n<head><title>Index of /pub/</title></head>\r\n<body>\r\n"
    "<h1>Index of /pub/</h1><hr><pre><a href=\"../\">../</a>\r\n"
    "<a href=\"old-99/\">old-99/</a>                                            "
    "08-Dec-2026 15:35       -\r\n"
    "<a href=\"README.txt\">README.txt</a>                                         "
    "01-Jan-2009 00:00     12K\r\n"
    "<a href=\"ispell-3.3.02-w32.tar.xz\">ispell-3.3.02-w32.tar.xz</a>                           "
    "05-Mar-2011 14:07      2M\r\n"
    "<a href=\"ispell-x-w32.tar.xz\">ispell-x-w32.tar.xz</a>   05-Mar-2011 14:07   1.2M\r\n"
    "</pre><hr></body>\r\n</html>\r\n";

class IndexPage : public Discovery {
 protected:
  // "YYYY-MM-DD hh:mm", "" for an absent time.
  static std::string shown(const date_time& time) {
    if (!time.valid) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", time.value.wYear,
                  time.value.wMonth, time.value.wDay, time.value.wHour, time.value.wMinute);
    return text;
  }
};

TEST_F(IndexPage, ReadsNameDateAndSizeOfEachLine) {
  const file_list list = testing_support::parse_page(kNginxPage);
  ASSERT_EQ(3u, list.size());
  EXPECT_EQ("README.txt", list[0].name);
  EXPECT_EQ(12288u, list[0].size);
  EXPECT_TRUE(date_time_equal(list[0].time, present(2009, 1, 1, 0, 0)));
  EXPECT_EQ("ispell-3.3.02-w32.tar.xz", list[1].name);
  EXPECT_EQ(2097152u, list[1].size);
  const file_info& x = list[2];
  EXPECT_EQ("ispell-x-w32.tar.xz", x.name);
  EXPECT_EQ(1258291u, x.size);
  ASSERT_TRUE(x.time.valid);
  EXPECT_EQ(2011, x.time.value.wYear);
  EXPECT_EQ(3, x.time.value.wMonth);
  EXPECT_EQ(5, x.time.value.wDay);
  EXPECT_EQ(6, x.time.value.wDayOfWeek);
  EXPECT_EQ(14, x.time.value.wHour);
  EXPECT_EQ(7, x.time.value.wMinute);
  EXPECT_EQ(0, x.time.value.wSecond);
  EXPECT_EQ(0, x.time.value.wMilliseconds);
  EXPECT_TRUE(log().empty());
}

TEST_F(IndexPage, OddLinesAndMonths) {
  const file_list list = testing_support::parse_page(
      "<a href=\"nodate\">x</a> 1M\r\n"                 // no date: no entry
      "<a href=\"sept\">x</a> 05-Sept-2011 14:07 1M\n"  // unknown month: no time
      "<a href=\"lower\">x</a> 05-mar-2011 14:07 1M\n"
      "<a href=\"empty\">x</a> --2011 : 2K\n"             // empty day, month, hour...
      "<a href=\"noyear\">x</a> 05-Mar- 14:07 3K\n"       // year 0: absent
      "<a href=\"dayzero\">x</a> 00-Mar-2011 00:00 4K\n"  // day 0 passes the bounds
      "<a  href = \"spaced\" >x</a> 05-Mar-2011 14:07 5K");
  ASSERT_EQ(6u, list.size());
  EXPECT_EQ("sept", list[0].name);
  EXPECT_FALSE(list[0].time.valid);
  EXPECT_EQ("lower", list[1].name);
  EXPECT_FALSE(list[1].time.valid);
  EXPECT_EQ("empty", list[2].name);
  EXPECT_FALSE(list[2].time.valid);  // the empty month is unknown too
  EXPECT_EQ(2048u, list[2].size);
  EXPECT_EQ("noyear", list[3].name);
  EXPECT_FALSE(list[3].time.valid);
  EXPECT_EQ("dayzero", list[4].name);
  EXPECT_TRUE(list[4].time.valid);
  EXPECT_EQ("spaced", list[5].name);
  EXPECT_TRUE(list[5].time.valid);
  const std::string prefix = "月変換でミスった．バグっぽいからヴォランテに文句いっといて．month = ";
  EXPECT_THAT(log(), ElementsAre(prefix + "Sept", prefix + "mar", prefix));
}

TEST_F(IndexPage, LayoutsOfTodaysServers) {
  // Lines as today's servers write them (copied from their output); the classic pattern wins
  // wherever it finds an entry on the page.
  struct Entry {
    std::string name;
    std::uint32_t size;
    std::string time;  // "" when there is none
  };
  struct Row {
    const char* what;
    std::string page;
    std::vector<Entry> entries;
    std::size_t log_lines;
  };
  const std::string month = "月変換でミスった．バグっぽいからヴォランテに文句いっといて．month = ";
  // ls's "Dec 10 01:23" for today and for three days ahead, which must be last year's.
  const auto ls_day = [](int days_ahead, std::string& written, std::string& shown_time) {
    static const char* const kAbbreviations[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME instant;
    SystemTimeToFileTime(&now, &instant);
    ULARGE_INTEGER ticks;
    ticks.LowPart = instant.dwLowDateTime;
    ticks.HighPart = instant.dwHighDateTime;
    ticks.QuadPart += static_cast<ULONGLONG>(days_ahead) * 24 * 3600 * 10000000;
    instant.dwLowDateTime = ticks.LowPart;
    instant.dwHighDateTime = ticks.HighPart;
    SYSTEMTIME day;
    FileTimeToSystemTime(&instant, &day);
    char text[64];
    std::snprintf(text, sizeof text, "%s %02u 01:23", kAbbreviations[day.wMonth - 1], day.wDay);
    written = text;
    std::snprintf(text, sizeof text, "%04u-%02u-%02u 01:23",
                  days_ahead > 1 ? day.wYear - 1u : day.wYear, day.wMonth, day.wDay);
    shown_time = text;
  };
  std::string today, today_shown, ahead, ahead_shown;
  ls_day(0, today, today_shown);
  ls_day(3, ahead, ahead_shown);
  const Row rows[] = {
      {"empty", "", {}, 0},
      {"line breaks only", "\r\n\r\n", {}, 0},
      {"a link alone", "<html><a href=\"../\">../</a></html>", {{"../", 0, ""}}, 0},
      {"<pre> lines, ISO dates",
       "<img src=\"/icons/unknown.gif\" alt=\"[   ]\"> <a href=\"x-w32.tar.xz\">x-w32.tar.xz</a>"
       "     2011-03-05 14:07  2.0M  \n"
       "<img src=\"/icons/folder.gif\" alt=\"[DIR]\"> <a href=\"sub/\">sub/</a>"
       "   2026-12-09 11:38    -   \n",
       {{"x-w32.tar.xz", 2097152, "2011-03-05 14:07"}},
       0},
      {"table rows, bytes without a unit",
       "<tr><th><a href=\"?C=N;O=D\">Name</a></th></tr>\n"
       "<tr><td><a href=\"small.txt\">small.txt</a></td><td align=\"right\">2009-01-01 00:00  "
       "</td><td align=\"right\">100 </td><td>&nbsp;</td></tr>\n",
       {{"small.txt", 100, "2009-01-01 00:00"}},
       0},
      {"exact bytes, beyond 32 bits",
       "<a href=\"huge.iso\">huge.iso</a>   01-Jan-2012 00:00          5368709120\r\n",
       {{"huge.iso", 2147483647, "2012-01-01 00:00"}},
       0},
      {"year first, read by the classic pattern",
       "<tr><td class=\"n\"><a href=\"x.tar.xz\">x.tar.xz</a></td><td class=\"m\">2011-Mar-05 "
       "14:07:00</td><td class=\"s\">2.0M</td><td class=\"t\">application/x-xz</td></tr>\n",
       {{"x.tar.xz", 2097152, "2011-03-05 14:07"}},
       0},
      {"year first, seconds, G",
       "<tr><td class=\"n\"><a href=\"big\">big</a></td><td class=\"m\">2011-Mar-05 14:07:59"
       "</td><td class=\"s\">1.5G</td><td class=\"t\">application/octet-stream</td></tr>\n",
       {{"big", 1610612736, "2011-03-05 14:07"}},
       0},
      {"rows over several lines",
       "<a href=\"../\">/</a>\n"
       "<a href=\"./ispell-3.3.02-w32.tar.xz\">\n"
       "  <svg><use xlink:href=\"#file\"></use></svg>\n"
       "  <span class=\"name\">ispell-3.3.02-w32.tar.xz</span>\n"
       "<td data-order=\"2097152\">2.0 MiB</td>\n"
       "<td class=\"hideable\"><time datetime=\" 2011-03-05T14:07:00Z\">03/05/2011 02:07:00 PM "
       "+00:00</time></td>\n"
       "<a href=\"./README.txt\">\n",
       {{"../", 0, ""},
        {"ispell-3.3.02-w32.tar.xz", 2097152, "2011-03-05 14:07"},
        {"README.txt", 0, ""}},
       0},
      {"a page mixing layouts reads as before",
       "<a href=\"iso\">iso</a> 2012-01-01 00:00 5M\n<a href=\"old\">old</a> 05-Mar-2011 14:07 "
       "1M\n",
       {{"old", 1048576, "2011-03-05 14:07"}},
       0},
      {"two links on one line: each with what follows it",
       "<a href=\"a\">a</a> <a href=\"b\">b</a> 2011-03-05 14:07 1.5K\n",
       {{"a", 0, ""}, {"b", 1536, "2011-03-05 14:07"}},
       0},
      {"an icon and the name link the same file",
       "<a href=\"x.tar.xz\"><img src=\"i.png\"></a> <a href=\"x.tar.xz\">x</a> 2011-03-05 "
       "14:07 2M\n<a href=\"y\">\n<img src=\"i.png\"></a>\n<a href=\"y\">y</a> 5 Mar 2011 1K\n",
       {{"x.tar.xz", 2097152, "2011-03-05 14:07"}, {"y", 1024, "2011-03-05 00:00"}},
       0},
      {"classic lines, a blank between the number and its unit",
       "<a href=\"k\">k</a>  05-Mar-2011 14:07  4.1 KB\n"
       "<a href=\"m\">m</a>  05-Mar-2011 14:07  2.8 MB\n"
       "<a href=\"b\">b</a>  05-Mar-2011 14:07  481 Bytes\n"
       "<a href=\"g\">g</a>  05-Mar-2011 14:07  1.5 GiB\n"
       "<a href=\"t\">t</a>  05-Mar-2011 14:07  1,234 kB\n"
       "<a href=\"p\">p</a>  05-Mar-2011 14:07  1.5 PB\n"
       "<a href=\"word\">w</a>  05-Mar-2011 14:07  Binary\n"
       "<a href=\"minute\">w</a>  05-Mar-2011 14:07 B\n"
       "<a href=\"plain\">x</a>  05-Mar-2011 14:07  3K\n"
       "<a href=\" blank \">x</a>  05-Mar-2011 14:07  3K\n",
       {{"k", 4198, "2011-03-05 14:07"},
        {"m", 2936012, "2011-03-05 14:07"},
        {"b", 481, "2011-03-05 14:07"},
        {"g", 1610612736, "2011-03-05 14:07"},
        {"t", 1263616, "2011-03-05 14:07"},
        {"p", 2147483647, "2011-03-05 14:07"},
        {"word", 0, "2011-03-05 14:07"},
        {"minute", 0, "2011-03-05 14:07"},
        {"plain", 3072, "2011-03-05 14:07"},
        {"blank", 3072, "2011-03-05 14:07"}},
       0},
      {"a zone after the time is no size; thousands separators",
       "<a href=\"plus\">x</a> 2011-03-05 14:07:30 +09:00  1,234,567\n"
       "<a href=\"minus\">x</a> 2011-03-05 14:07 -05:00\n"
       "<a href=\"nonsense\">x</a> 2011-03-05 14:07 +99:99 12 MB\n",
       {{"plus", 1234567, "2011-03-05 14:07"},
        {"minus", 0, "2011-03-05 14:07"},
        {"nonsense", 12582912, "2011-03-05 14:07"}},
       0},
      {"Z after the time",
       "<a href=\"zulu\">x</a> 2011-03-05T14:07:30Z  481 Bytes\n",
       {{"zulu", 481, "2011-03-05 14:07"}},
       0},
      {"upper case, single quotes",
       "<TR><TD><A HREF=\"up-w32.tar.xz\">up</A></TD><TD>2011-03-05 14:07</TD><TD>2.0 MB</TD>\n"
       "<li><a class='f' href='single'>s</a> 05-Mar-2011 14:07 12,345 bytes</li>\n",
       {{"up-w32.tar.xz", 2097152, "2011-03-05 14:07"}, {"single", 12345, "2011-03-05 14:07"}},
       0},
      {"href on a line of its own, the size and time on lines of their own",
       "<a\n    href=\"ispell-3.3.02-w32.tar.xz\"\n    class=\"flex\">\n"
       "  <div class=\"truncate\">\n    ispell-3.3.02-w32.tar.xz\n  </div>\n"
       "  <div class=\"w-1/6\">\n    2.00MB\n  </div>\n"
       "  <div class=\"w-1/4\">\n    2011-03-05 14:07:00\n  </div>\n</a>\n"
       "<a\n    href=\"README.txt\"\n>\n  <div>\n    12.00KB\n  </div>\n</a>\n",
       {{"ispell-3.3.02-w32.tar.xz", 2097152, "2011-03-05 14:07"}, {"README.txt", 12288, ""}},
       0},
      {"KiB, and ten terabytes",
       "<a href=\"k\">k</a> 2011-03-05 14:07 1.5 KiB\n<a href=\"t\">t</a> 2011-03-05 14:07 10T\n",
       {{"k", 1536, "2011-03-05 14:07"}, {"t", 2147483647, "2011-03-05 14:07"}},
       0},
      {"caddy's current template: the exact size in data-size",
       "<tr class=\"file\">\n  <td>\n    <a href=\"./ispell-3.3.02-w32.tar.xz\">\n"
       "      <svg><use xlink:href=\"#file\"></use></svg>\n"
       "      <span class=\"name\">ispell-3.3.02-w32.tar.xz</span>\n    </a>\n  </td>\n"
       "  <td class=\"size\" data-size=\"2097152\">\n    <div class=\"sizebar-text\">\n"
       "      2.0 MiB\n    </div>\n  </td>\n  <td class=\"timestamp hideable\">\n"
       "    <time datetime=\"2011-03-05T14:07:00Z\">03/05/2011 02:07:00 PM +00:00</time>\n"
       "  </td>\n</tr>\n",
       {{"ispell-3.3.02-w32.tar.xz", 2097152, "2011-03-05 14:07"}},
       0},
      {"cells on one line, the size before the time; a parent row with empty cells",
       "<tr><td><a href=\"..\">Parent Directory</a></td><td class=\"fb-d\"></td><td "
       "class=\"fb-s\"></td></tr><tr><td><a href=\"/x/ispell-3.3.02-w32.tar.xz\" "
       "title=\"ispell-3.3.02-w32.tar.xz\">ispell-3.3.02-w32.tar.xz</a></td><td>  2097152 "
       "</td><td>2011-03-05 14:07</td></tr><tr><td><a href=\"d/\">d/</a></td><td>-</td>"
       "<td>2011-03-05 14:07</td></tr><tr><td><a href=\"e\">e</a></td><td></td><td>"
       "2011-03-05 14:07:30 +02:00</td><td>4 days ago</td></tr>",
       {{"..", 0, ""},
        {"/x/ispell-3.3.02-w32.tar.xz", 2097152, "2011-03-05 14:07"},
        {"d/", 0, "2011-03-05 14:07"},
        {"e", 0, "2011-03-05 14:07"}},
       0},
      {"dates with month names, list items",
       "<li><a href=\"a\">a</a> <span>5 March 2011</span> <span>1.5 KB</span></li>\n"
       "<li><a href=\"b\">b</a> <span>24 Sept 2025, 13:12</span> <span>481 B</span></li>\n"
       "<li><a href=\"c\">c</a> Mar 5, 2011 2:07 PM (2.0 MB)</li>\n"
       "<li><a href=\"d\">d</a> 5 Mai 2011, 14:07 <span>3 KB</span></li>\n"
       "<li><a href=\"e\">e</a> 05Mar2011 14:07        2097152</li>\n"
       "-rw-r--r--  root  root  Mar 05  2011  2048 kB  <a href=\"f\">f</a>\n",
       {{"a", 1536, "2011-03-05 00:00"},
        {"b", 481, "2025-09-24 13:12"},
        {"c", 2097152, "2011-03-05 14:07"},
        {"d", 3072, ""},
        {"e", 2097152, "2011-03-05 14:07"},
        {"f", 2097152, "2011-03-05 00:00"}},
       0},
      {"ls dates of the last six months, without a year",
       "-rw-r--r--  root  root  " + today + "  2048 kB  <a href=\"today\">today</a>\n" +
           "-rw-r--r--  root  root  " + ahead + "   481  B  <a href=\"ahead\">ahead</a>\n",
       {{"today", 2097152, today_shown}, {"ahead", 481, ahead_shown}},
       0},
      {"ls lines, the size before the date",
       "-rw-r--r--  1 ftp  ftp   2097152 Mar  5  2011 <a href=\"l\">l</a>\n"
       "-rw-r--r--  1 ftp  ftp      2.0M Mar  5  2011 <a href=\"h\">h</a>\n"
       "-rw-r--r--  1 ftp  ftp       481 " +
           today + " <a href=\"y\">y</a>\n",
       {{"l", 2097152, "2011-03-05 00:00"},
        {"h", 2097152, "2011-03-05 00:00"},
        {"y", 481, today_shown}},
       0},
      {"one line, <br> between entries, each link after its date, time and size",
       "<pre><A HREF=\"/pub/\">[To Parent Directory]</A><br><br> Saturday, March 05, 2011  "
       "2:07 PM      2097152 <A HREF=\"/pub/ispell-3.3.02-w32.tar.xz\">ispell-3.3.02-w32.tar.xz"
       "</A><br> Sunday, March 06, 2011  9:15 AM           91 <A HREF=\"/pub/ispell.sha256\">"
       "ispell.sha256</A><BR/></pre>\n",
       {{"/pub/", 0, ""},
        {"/pub/ispell-3.3.02-w32.tar.xz", 2097152, "2011-03-05 14:07"},
        {"/pub/ispell.sha256", 91, "2011-03-06 09:15"}},
       0},
      {"blanks around an href; a row the layout's pattern passes over is read link by link",
       "<a href=\" d.tar.xz \">d</a> 2011-03-05 14:07 2M\n"
       "<a href=\"sub/\">sub/</a> 2011-03-05 14:07 -\n"
       "<li><a href=\"\tl.tar.xz\t\">l</a> 5 March 2011 1 KB</li>\n",
       {{"d.tar.xz", 2097152, "2011-03-05 14:07"}, {"l.tar.xz", 1024, "2011-03-05 00:00"}},
       0},
      {"an object store: a folder's row of cells, then file rows the cells' pattern misses",
       "<div><a href=\"docs/\">docs/</a><div>0</div><div>-</div><div>2024-01-10T08:00:00.000Z"
       "</div></div>\n"
       "<div><a href=\"ispell-3.3.02-w32.tar.xz\">ispell-3.3.02-w32.tar.xz</a><div>36,386</div>"
       "<div>(35.53 kb)</div><div>2011-03-05T14:07:00.000Z</div></div>\n"
       "<div><a href=\"sub/\">sub/</a><div>0</div><div>-</div><div>2024-01-10T08:00:00.000Z"
       "</div></div>\n",
       {{"docs/", 0, "2024-01-10 08:00"},
        {"ispell-3.3.02-w32.tar.xz", 36386, "2011-03-05 14:07"},
        {"sub/", 0, "2024-01-10 08:00"}},
       0},
      {"a file read link by link before the first dated line stays; the parent goes",
       "<li><a href=\"ispell-3.3.03-w32.tar.xz\">new</a> 6 March 2011 2 MB</li>\n"
       "<a href=\"../\">../</a>\n<a href=\"ispell-3.3.02-w32.tar.xz\">x</a> 2011-03-05 14:07 1M\n",
       {{"ispell-3.3.03-w32.tar.xz", 2097152, "2011-03-06 00:00"},
        {"ispell-3.3.02-w32.tar.xz", 1048576, "2011-03-05 14:07"}},
       0},
      {"no hour 24",
       "<li><a href=\"g\">g</a> <span>2011-03-05 24:00</span> <span>1 KB</span></li>\n",
       {{"g", 1024, ""}},
       0},
      {"a link of 70,000 characters",
       "<tr><td><a href=\"" + std::string(70000, 'n') +
           "\">n</a></td><td>2011-03-05 14:07:30Z</td><td>2 MB</td></tr>\n",
       {{std::string(70000, 'n'), 2097152, "2011-03-05 14:07"}},
       0},
      {"a line of 10 MB with no link after a link",
       "<li><a href=\"x\">x</a></li>\n" + std::string(10 << 20, '7') + "\n",
       {{"x", 0, ""}},
       0},
      {"a page built by a script, and a listing in JSON: no link",
       "<link rel=\"stylesheet\" href=\"app.css\"><div id=\"app\"></div><script "
       "src=\"app.js\"></script>\n"
       "[{\"name\":\"ispell-3.3.02-w32.tar.xz\",\"size\":2097152,\"href\":\"x\"}]\n",
       {},
       0},
      {"month names of another language",
       "<a href=\"mai\">mai</a>  05-Mai-2011 14:07  1234\n",
       {{"mai", 1234, ""}},
       1},
      {"a month name beyond ASCII: a link only",
       "<a href=\"maerz\">m</a>  05-M\xC3\xA4r-2011 14:07  1234\n",
       {{"maerz", 0, ""}},
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    clear_log();
    const file_list list = testing_support::parse_page(row.page);
    ASSERT_EQ(row.entries.size(), list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      const Entry& expected = row.entries[i];
      EXPECT_EQ(expected.name, list[i].name);
      EXPECT_EQ(expected.size, list[i].size);
      EXPECT_EQ(expected.time, shown(list[i].time)) << expected.name;
    }
    EXPECT_EQ(row.log_lines, log().size());
  }
}

TEST_F(IndexPage, LongLinesAreReadInLinearTime) {
  // hrefs with no tag before them on the line: 200,000 records, and 64,000 links to one file
  // at the end of a line at the cap. The bound is generous, for the slowest machine that runs
  // the tests; the search for each link's tag back to the start of the line took hours.
  struct Row {
    const char* what;
    std::string page;
    std::size_t entries;
  };
  std::string distinct;
  for (int i = 0; i < 200000; ++i) distinct += " href=\"f" + std::to_string(1000000 + i) + ".tar\"";
  std::string links;
  for (int i = 0; i < 64000; ++i) links += " href=\"x\"";
  const std::string at_cap =
      std::string(GetInfo::index_parser::kMaxLine - 1 - links.size(), 'x') + links;
  const Row rows[] = {{"4 MB, 200,000 hrefs", distinct + "\n", 200000},
                      {"16 MiB, 64,000 hrefs at its end", at_cap + "\n", 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const DWORD start = GetTickCount();
    const file_list list = testing_support::parse_page(row.page);
    const DWORD took = GetTickCount() - start;
    EXPECT_EQ(row.entries, list.size());
    EXPECT_LT(took, 300000u);
  }
}

TEST_F(IndexPage, NonsenseMatchPositionsNeverLoopOrReadOutside) {
  // Each answer pair stops the parse, or moves it forward within the page, never past it.
  const std::string page = std::string(kNginxPage) + kNginxPage;
  struct Case {
    int pos;
    int len;
    size_t max_entries;
  };
  for (const Case c :
       {Case{0, 0, 1}, Case{-1, 0, 1}, Case{-100, 50, 1}, Case{0, -1, 1}, Case{1 << 30, 1 << 30, 1},
        Case{INT_MAX, INT_MAX, 1}, Case{0, 100000, 1}, Case{0, 1, page.size()}}) {
    host::reset();
    host::config().match_pos_answer = c.pos;
    host::config().match_len_answer = c.len;
    const file_list list = testing_support::parse_page(page);
    EXPECT_GE(list.size(), 1u) << c.pos << "," << c.len;
    EXPECT_LE(list.size(), c.max_entries) << c.pos << "," << c.len;
  }
}

TEST(SizeFromText, UnitsAndTruncation) {
  struct Row {
    const char* text;
    int size;
  };
  const Row rows[] = {
      {"999B", 999},
      {"0.5K", 512},
      {"3.99B", 3},
      {"2.3K", 2355},
      {"1.2M", 1258291},
      {"1\\2K", 1024},
      {"1.5.7K", 1536},
      {".5K", 512},
      {"K", 0},
      {"", 0},
      {"2047M", 2146435072},
      // Beyond the 32-bit range the size saturates instead of wrapping to a negative number.
      {"2048M", 2147483647},
      {"99999999999999999999999999M", 2147483647},
      {"2047.99999999999M", 2147483647},
      // Read as the nearest double first: a number just under an integer may round up to it,
      // and a tie goes to the even neighbour (the values a correctly rounding strtod gives).
      {"0.99999999999999999B", 1},
      {"0.9999999999999999B", 0},
      {"0.999999999999999944488848768742172978818416595458984375B", 1},
      {"0.999999999999999944488848768742172978818416595458984374B", 0},
      {"1.99999999999999988897769753748434595763683319091796875K", 2048},
      {"1.99999999999999988897769753748434595763683319091796874K", 2047},
      {"1048575.9999999999999B", 1048576},
      {"2097150.99999999999999B", 2097151},
      {"3.14159265358979323846K", 3216},
      {"0.00000000000000000000000001M", 0},
  };
  // The same sizes whatever precision the host's thread gave the x87 unit (a host built with
  // another compiler may run with 53-bit precision, ours with 64-bit).
  std::vector<unsigned> precisions = {0};  // 0: as the thread is
#if defined(_M_IX86) || defined(__i386__)
  precisions = {0, _PC_53, _PC_64, _PC_24};
  const unsigned saved = _controlfp(0, 0);
#endif
  for (unsigned precision : precisions) {
#if defined(_M_IX86) || defined(__i386__)
    if (precision != 0) _controlfp(precision, _MCW_PC);
#endif
    for (const Row& row : rows) {
      EXPECT_EQ(row.size, GetInfo::size_from_text(row.text))
          << '"' << row.text << "\" at precision " << precision;
    }
  }
#if defined(_M_IX86) || defined(__i386__)
  _controlfp(saved, _MCW_PC);
#endif
}

TEST(ListingTime, MonthNamesAndTheOrderOfTheDate) {
  const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::vector<orelib::string> log;
  for (int i = 0; i < 12; ++i) EXPECT_EQ(i + 1, GetInfo::month_from_name(names[i], log));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(-1, GetInfo::month_from_name("JAN", log));
  EXPECT_EQ(-1, GetInfo::month_from_name("January", log));
  const std::string month = "月変換でミスった．バグっぽいからヴォランテに文句いっといて．month = ";
  EXPECT_THAT(log, ElementsAre(month + "JAN", month + "January"));

  struct Row {
    const char *first, *month, *last;
    int year, month_value, day;  // year 0: absent
  };
  const Row rows[] = {
      {"05", "Mar", "2011", 2011, 3, 5},  // as the classic index writes it
      {"2011", "Mar", "05", 2011, 3, 5},  // year first
      {"2011", "03", "05", 2011, 3, 5},   // ISO
      {"05", "03", "2011", 2011, 3, 5},   // a month number, day first
      {"2011", "13", "05", 0, 0, 0},      // no such month
      {"05", "Mai", "2011", 0, 0, 0},     // another language: logged, absent
      {"5", "Mar", "11", 0, 0, 0},        // a two-digit year is before 1601
      {"", "", "", 0, 0, 0},
  };
  for (const Row& row : rows) {
    log.clear();
    const date_time time = GetInfo::listing_time(row.first, row.month, row.last, "14", "07", log);
    SCOPED_TRACE(std::string(row.first) + "-" + row.month + "-" + row.last);
    ASSERT_EQ(row.year != 0, time.valid);
    if (time.valid) {
      EXPECT_TRUE(date_time_equal(time, present(row.year, row.month_value, row.day, 14, 7)));
    }
    EXPECT_EQ(std::string(row.month) == "Mai" || std::string(row.month).empty() ? 1u : 0u,
              log.size());
  }
}

// --- freshness and the local check ------------------------------------------------------------

class Freshness : public Discovery {
 protected:
  bool offered(const date_time& remote) {
    HostModule host;
    host.bind();
    GetInfo::decide_freshness(host, {entry("ispell-3.3.02-w32.tar.xz", 4242, remote),
                                     "http://mirror.example/pub/w32/ispell-3.3.02-w32.tar.xz"});
    return g_discovery.default_selected;
  }
};

TEST_F(Freshness, StrictlyLaterRemoteIsOffered) {
  testing_support::write_file(archive(), "old");
  set_write_time(archive(), system_time(2011, 3, 5, 14, 7, 0));
  EXPECT_FALSE(offered(present(2011, 3, 5, 14, 7, 0)));  // the same instant
  EXPECT_TRUE(offered(present(2011, 3, 5, 14, 7, 1)));   // one second later
  EXPECT_FALSE(offered(present(2011, 3, 5, 14, 6, 59)));
  EXPECT_FALSE(offered(date_time{}));  // remote time unknown
  set_write_time(archive(), system_time(2011, 3, 5, 14, 6, 59));
  EXPECT_TRUE(offered(present(2011, 3, 5, 14, 7, 0)));
}

TEST_F(Freshness, MissingLocalArchive) {
  EXPECT_TRUE(offered(present(2011, 3, 5, 14, 7)));
  EXPECT_FALSE(offered(date_time{}));
}

TEST_F(Freshness, RecordsSizeAndUrl) {
  offered(present(2011, 3, 5));
  EXPECT_EQ(4242u, g_discovery.remote_size);
  EXPECT_EQ("http://mirror.example/pub/w32/ispell-3.3.02-w32.tar.xz", g_discovery.download_url);
  // Links as index pages write them, resolved against the page's URL as a browser does.
  struct Link {
    const char* directory;
    const char* link;
    const char* url;
  };
  for (const Link link : {
           Link{"/pub/w32/", "sub/a.tar.xz", "http://mirror.example/pub/w32/sub/a.tar.xz"},
           Link{"/pub/w32/", "a.tar.xz?download=1",
                "http://mirror.example/pub/w32/a.tar.xz?download=1"},
           Link{"/pub/w32/", "/elsewhere/a.tar.xz", "http://mirror.example/elsewhere/a.tar.xz"},
           Link{"/pub/w32/", "//other.example/a.tar.xz", "http://other.example/a.tar.xz"},
           Link{"/pub/w32/", "https://other.example/a.tar.xz", "https://other.example/a.tar.xz"},
           Link{"/pub/w32/", "./a.tar.xz", "http://mirror.example/pub/w32/a.tar.xz"},
           Link{"/pub/w32/", "", "http://mirror.example/pub/w32/"},
           // A sorted listing's URL: its query is not part of the directory.
           Link{"/pub/w32/?C=M;O=A", "a.tar.xz", "http://mirror.example/pub/w32/a.tar.xz"},
           Link{"/", "a.tar.xz", "http://mirror.example/a.tar.xz"},
           Link{"/pub/w32/", "a&amp;b&#38;c&#x26;d&quot;&lt;&gt;.tar.xz",
                "http://mirror.example/pub/w32/a&b&c&d\"<>.tar.xz"},
           Link{"/pub/w32/", "&#233;&#x1F600;.tar.xz",
                "http://mirror.example/pub/w32/%C3%A9%F0%9F%98%80.tar.xz"},
           // Not a reference: kept as written, and "#" then starts the fragment.
           Link{"/pub/w32/", "a&amp&#0;.tar.xz", "http://mirror.example/pub/w32/a&amp&"},
       }) {
    SCOPED_TRACE(link.link);
    EXPECT_EQ(link.url, GetInfo::resolve_listed_name({"http", "mirror.example", link.directory},
                                                     link.link, GetInfo::listed_names::links)
                            .url);
  }
  EXPECT_EQ("&amp &#0; &#x110000; &#xD800; &bogus; &#x; &;&#38",
            GetInfo::decode_html_references("&amp &#0; &#x110000; &#xD800; &bogus; &#x; &;&#38"));
}

TEST_F(Freshness, NoDownloadDirectoryMeansNoLocalArchive) {
  // A file of that name in the working directory must not be taken for the download.
  testing_support::write_file(kLocalArchiveName, "x");
  set_write_time(kLocalArchiveName, system_time(2030, 1, 1, 0, 0, 0));
  host::config().hozon_dir = std::nullopt;
  EXPECT_TRUE(offered(present(2011, 3, 5)));
  host::config().hozon_dir = std::string();
  EXPECT_TRUE(offered(present(2011, 3, 5)));
  HostModule host;
  host.bind();
  EXPECT_TRUE(GetInfo::check_local_archive(host));
  EXPECT_FALSE(g_discovery.default_selected);
  DeleteFileA(kLocalArchiveName);
}

TEST_F(Discovery, LocalCheckLooksOnlyForTheName) {
  HostModule host;
  host.bind();
  g_discovery.download_url = "http://earlier/";
  g_discovery.remote_size = 77;
  g_discovery.archive_found = true;
  EXPECT_TRUE(GetInfo::check_local_archive(host));
  EXPECT_FALSE(g_discovery.default_selected);
  EXPECT_EQ("", g_discovery.download_url);
  EXPECT_FALSE(g_discovery.archive_found);  // no URL to hand to the host
  EXPECT_EQ(77u, g_discovery.remote_size);
  CreateDirectoryA(archive().c_str(), nullptr);  // even a directory counts
  EXPECT_TRUE(GetInfo::check_local_archive(host));
  EXPECT_TRUE(g_discovery.default_selected);
}

// --- the bounds' ownership --------------------------------------------------------------------

TEST(SessionHandles, NoCallAfterTheClose) {
  GetInfo::session_handles handles;
  handles.internet = InternetOpenA("units", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(nullptr, handles.internet);
  ASSERT_TRUE(handles.begin_call());
  EXPECT_FALSE(handles.close(60000));  // a call just announced is not closed under
  EXPECT_TRUE(handles.end_call());
  EXPECT_TRUE(handles.close(60000));
  EXPECT_EQ(nullptr, handles.internet);
  EXPECT_FALSE(handles.begin_call());
  bool ran = false;
  EXPECT_FALSE(handles.locked([&] { return ran = true; }));
  EXPECT_FALSE(ran);
  handles.replace(handles.request,
                  InternetOpenA("units", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  EXPECT_EQ(nullptr, handles.request);
}

// A call that its closed handles do not end: the caller returns with the bound's reason, and
// the call finishes later, touching only what it owns. Only a listing whose server answered
// and then went unreported is not called silent.
TEST_F(Discovery, ACallThatNeverEndsIsLeftToItself) {
  struct blocked final : GetInfo::io_job {
    blocked(std::shared_ptr<GetInfo::session_handles> h, DWORD s) : handles(h), status(s) {}
    void run() override {
      handles->activity.last_status = status;
      WaitForSingleObject(release, INFINITE);
      finished = true;
    }
    std::shared_ptr<GetInfo::session_handles> handles;
    DWORD status;
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> finished{false};
  };
  const struct {
    DWORD last_status;
    bool listing;
    GetInfo::io_end end;
  } rows[] = {
      {INTERNET_STATUS_RESPONSE_RECEIVED, true, GetInfo::io_end::unseen},
      {INTERNET_STATUS_REQUEST_SENT, true, GetInfo::io_end::silent},
      {INTERNET_STATUS_RESPONSE_RECEIVED, false, GetInfo::io_end::silent},
  };
  const GetInfo::io_limits kept = GetInfo::bounded_io::limits;
  GetInfo::bounded_io::limits.silence_ms = 300;
  GetInfo::bounded_io::limits.end_wait_ms = 500;
  for (const auto& row : rows) {
    std::shared_ptr<blocked> job;
    {
      GetInfo::bounded_session session;
      job = std::make_shared<blocked>(session.handles, row.last_status);
      const DWORD start = GetTickCount();
      EXPECT_EQ(row.end, session.io.call(job, row.listing)) << row.last_status;
      EXPECT_TRUE(session.io.abandoned());
      EXPECT_LT(GetTickCount() - start, 60000u);
    }
    EXPECT_FALSE(job->finished);
    SetEvent(job->release);
    for (int i = 0; i < 600 && job.use_count() > 1; ++i) Sleep(100);
    EXPECT_TRUE(job->finished);
    EXPECT_EQ(1, job.use_count());  // the thread let go of it
    CloseHandle(job->release);
  }
  GetInfo::bounded_io::limits = kept;
  const std::string left =
      "打ち切った通信の呼び出しが25秒たっても戻らないので，戻るのを待たずに終えました．";
  EXPECT_THAT(log(), ElementsAre(left, left, left));
}
