// The built module read as a file, with no Windows: what a machine that cannot run the
// module can still check of it. Usage: module_file_tests MODULE [gtest options]

#include "dialog_template_check.h"
#include "pe_resources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

const char* modulePath = nullptr;

TEST(ModuleFile, HoldsDialogTemplate101AsDesigned)
{
    std::ifstream in(modulePath, std::ios::binary);
    ASSERT_TRUE(in) << "cannot open " << modulePath;
    pe::File file{std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {})};
    pe::Resource dialog;
    ASSERT_TRUE(file.find(5, 101, kExpectedLanguage, dialog)) << modulePath << ": " << file.error();
    EXPECT_EQ(dialog.languages, std::vector<uint16_t>{kExpectedLanguage}) << "English (United States) only";
    template_check::expectTemplate101(dialog.data, dialog.size);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: module_file_tests MODULE [gtest options]\n");
        return 2;
    }
    modulePath = argv[1];
    return RUN_ALL_TESTS();
}
