// The sample configuration and the guide that ship with the program: the program's own
// reader must take the sample back as exactly its defaults, and both files must list
// every setting, as Notepad shows them (a byte order mark, CR LF line ends).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/cfgproc.h"
#include "tests/support/tempfile.h"

namespace {

const std::string bom = "\xEF\xBB\xBF";

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Sets every setting that has a default to something else, so that a setting the
// sample does not set shows as a difference.
void scramble()
{
    for (const config_entry *row = config_table; row->key; row++) {
        if (row->type == CFG_STRING) {
            if (row->str_default)
                config_set_string(static_cast<char **>(row->var), "scrambled");
        } else {
            *static_cast<int32_t *>(row->var) = ~row->int_default;
        }
    }
}

void expect_defaults()
{
    for (const config_entry *row = config_table; row->key; row++) {
        if (row->type == CFG_STRING) {
            const char *value = *static_cast<char **>(row->var);
            if (!row->str_default)
                EXPECT_EQ(value, nullptr) << row->key << " must stay unset";
            else
                EXPECT_STREQ(value, row->str_default) << row->key;
        } else {
            EXPECT_EQ(*static_cast<int32_t *>(row->var), row->int_default) << row->key;
        }
    }
}

TEST(SampleConfig, ReadsBackAsTheDefaults)
{
    config_setdefaults(config_table);
    scramble();
    testing::internal::CaptureStdout();
    int ok = config_load(LV_SAMPLE_CFG, config_table);
    std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(ok, 1) << LV_SAMPLE_CFG;
    expect_defaults();
    // No value was refused ("int.", "bool.") and nothing but the settings was read.
    for (const std::string &line : lines_of(printed))
        EXPECT_EQ(line.rfind("cfgkey: ", 0), 0u) << line;
}

TEST(SampleConfig, ListsEverySettingInTableOrderWithOneCommentLine)
{
    std::string text = test_read_file(LV_SAMPLE_CFG);
    ASSERT_EQ(text.compare(0, bom.size(), bom), 0) << "no byte order mark";
    std::vector<std::string> lines = lines_of(text.substr(bom.size()));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("# ", 0), 0u) << "the first line is a comment";

    size_t at = 0;
    for (const config_entry *row = config_table; row->key; row++) {
        // A setting without a default is shown commented out: set empty, it would read
        // as an empty text instead of none.
        bool unset = row->type == CFG_STRING && !row->str_default;
        std::string prefix = std::string(unset ? "#" : "") + row->key + "=";
        size_t found = at;
        while (found < lines.size() && lines[found].rfind(prefix, 0) != 0)
            found++;
        ASSERT_LT(found, lines.size()) << row->key << " missing or out of table order";
        ASSERT_GT(found, 0u);
        const std::string &comment = lines[found - 1];
        EXPECT_EQ(comment.rfind("# ", 0), 0u) << row->key << " has no comment line";
        EXPECT_GT(comment.size(), 3u) << row->key;
        at = found + 1;
    }
}

TEST(SampleConfig, TextFilesHaveCrLfLineEnds)
{
    for (const char *path : {LV_SAMPLE_CFG, LV_GUIDE}) {
        std::string text = test_read_file(path);
        ASSERT_FALSE(text.empty()) << path;
        EXPECT_EQ(text.compare(0, bom.size(), bom), 0) << path << ": no byte order mark";
        EXPECT_EQ(text.back(), '\n') << path;
        for (size_t i = 0; i < text.size(); i++) {
            if (text[i] == '\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << path << ": bare LF at byte " << i;
            }
        }
    }
}

TEST(SampleConfig, GuideNamesEverySetting)
{
    std::string guide = test_read_file(LV_GUIDE);
    for (const config_entry *row = config_table; row->key; row++)
        EXPECT_NE(guide.find(std::string("  ") + row->key + " ("), std::string::npos) << row->key;
}

}  // namespace
