#include "HelpBundle.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {

std::string sample() {
    return HelpBundle::build("index.html", {{"index.html", "<a href=\"a.html\">A</a>"},
                                            {"a.html", "page a"},
                                            {"style.css", "body{}"}});
}

TEST(HelpBundleFormat, RoundTripKeepsEveryPageAndTheDefaultTopic) {
    HelpBundle b;
    ASSERT_TRUE(b.parse(sample())) << b.errorText();
    EXPECT_EQ(b.size(), 3u);
    EXPECT_EQ(b.defaultTopic(), "index.html");
    ASSERT_NE(b.find("a.html"), nullptr);
    EXPECT_EQ(*b.find("a.html"), "page a");
    EXPECT_EQ(b.find("missing.html"), nullptr);
    // The default topic is whatever comes first, not the alphabetically first name.
    HelpBundle c;
    ASSERT_TRUE(c.parse(HelpBundle::build("z.html", {{"a.html", "1"}, {"z.html", "2"}})));
    EXPECT_EQ(c.defaultTopic(), "z.html");
}

TEST(HelpBundleFormat, EveryTruncationIsRejectedCleanly) {
    const std::string whole = sample();
    for (std::size_t n = 0; n < whole.size(); ++n) {
        HelpBundle b;
        EXPECT_FALSE(b.parse(std::string_view(whole).substr(0, n))) << "length " << n;
        EXPECT_TRUE(b.isEmpty());
        EXPECT_FALSE(b.errorText().empty());
    }
    HelpBundle b;
    EXPECT_FALSE(b.parse(whole + "x")); // trailing bytes
}

std::string header(std::uint32_t count) {
    std::string s(HelpBundle::kMagic);
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((count >> (8 * i)) & 0xFF);
    return s;
}

std::string entry(const std::string& name, const std::string& data) {
    std::string s;
    s += static_cast<char>(name.size() & 0xFF);
    s += static_cast<char>(name.size() >> 8);
    s += name;
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((data.size() >> (8 * i)) & 0xFF);
    return s + data;
}

TEST(HelpBundleFormat, HostileHeadersAndNamesAreRefused) {
    HelpBundle b;
    EXPECT_FALSE(b.parse("CLDHELP2" + header(1).substr(8) + entry("a", "b")));
    EXPECT_FALSE(b.parse(header(0)));
    EXPECT_FALSE(b.parse(header(0xFFFFFFFFu) + entry("a", "b")));
    EXPECT_FALSE(b.parse(header(2) + entry("a", "1") + entry("a", "2")));
    for (const char* bad : {"", "/etc/passwd", "../x", "a/../b", "a//b", "a\\b", "a\nb", "./a"})
        EXPECT_FALSE(b.parse(header(1) + entry(bad, "data"))) << bad;
    // A length that claims more data than there is.
    std::string lying = header(1) + entry("a", "");
    lying[lying.size() - 4] = '\x10';
    EXPECT_FALSE(b.parse(lying));
    EXPECT_TRUE(b.parse(header(1) + entry("img/logo.png", "")));
}

TEST(HelpBundleFormat, LoadReportsMissingAndDamagedFiles) {
    cldtest::TempDir dir;
    HelpBundle b;
    EXPECT_FALSE(b.load(dir.file("none.chm")));
    std::ofstream(dir.file("bad.chm")) << "MZ this is something else";
    EXPECT_FALSE(b.load(dir.file("bad.chm")));
    std::ofstream(dir.file("good.chm"), std::ios::binary) << sample();
    EXPECT_TRUE(b.load(dir.file("good.chm")));
    EXPECT_FALSE(b.load(dir.path())); // a folder is not a help file
}

// The targets of href="..." and src="..." in a page that stay inside the bundle (no
// scheme, no fragment-only link).
std::vector<std::string> localLinks(const std::string& page) {
    std::vector<std::string> links;
    for (const std::string attr : {"href=\"", "src=\""}) {
        for (std::size_t at = page.find(attr); at != std::string::npos;
             at = page.find(attr, at + 1)) {
            const std::size_t start = at + attr.size();
            const std::size_t end = page.find('"', start);
            if (end == std::string::npos)
                break;
            std::string target = page.substr(start, end - start);
            if (const auto hash = target.find('#'); hash != std::string::npos)
                target.resize(hash);
            if (!target.empty() && target.find(':') == std::string::npos)
                links.push_back(target);
        }
    }
    return links;
}

// The help file that ships: its default topic is the contents page, and every link
// between its pages leads to a page that exists.
TEST(ShippedHelp, EveryLinkLeadsToAPageOfTheBundle) {
    HelpBundle b;
    ASSERT_TRUE(b.load(cldtest::binDir() / "cld.chm")) << b.errorText();
    EXPECT_EQ(b.defaultTopic(), "index.html");
    std::set<std::string> reached;
    for (const char* page : {"index.html", "cd.html", "encode.html", "decode.html", "record.html",
                             "video.html", "options.html", "trouble.html"}) {
        const std::string* text = b.find(page);
        ASSERT_NE(text, nullptr) << page;
        for (const std::string& target : localLinks(*text)) {
            EXPECT_NE(b.find(target), nullptr) << page << " links to " << target;
            reached.insert(target);
        }
    }
    // Every job page is reachable from somewhere.
    for (const char* page : {"cd.html", "encode.html", "decode.html", "record.html", "video.html"})
        EXPECT_TRUE(reached.count(page)) << page;
}

} // namespace
