// SPDX-License-Identifier: MIT
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "qor_log.h"
#include "su_base.h"

namespace {

constexpr char kUntouched = 'Z';

std::array<char, 128> filled_buffer() {
    std::array<char, 128> buffer{};
    buffer.fill(kUntouched);
    return buffer;
}

// Records name their function while this is in scope.
class FunctionPrefix {
public:
    FunctionPrefix() : saved_(QOR_Log_Get_Option()) { QOR_Log_Set_Option(QOR_LOG_OPT_FUNC); }
    FunctionPrefix(const FunctionPrefix &) = delete;
    FunctionPrefix &operator=(const FunctionPrefix &) = delete;
    FunctionPrefix(FunctionPrefix &&) = delete;
    FunctionPrefix &operator=(FunctionPrefix &&) = delete;
    ~FunctionPrefix() { QOR_Log_Set_Option(saved_); }

private:
    int saved_;
};

struct ModelCase {
    const char *what;
    std::optional<std::string> cpuinfo; // none: the file is absent
    int result;
    std::optional<std::string> model; // none: the buffer is left untouched
    std::vector<std::string> records;
};

class Identity : public fake::Test {};

TEST_F(Identity, ModelTextOfTheFirstLine) {
    const std::string x122(122, 'x');
    const std::string x123(123, 'x');
    const std::string x125(125, 'x');
    const std::vector<ModelCase> cases{
        {"usual form", "name\t\t: Example Board\nother\t: line\n", 0, "Example Board", {}},
        {"any character after the colon is skipped", "name:value\n", 0, "alue", {}},
        {"later colons are text", "name\t: a:b\n", 0, "a:b", {}},
        {"only a newline after the colon", "name:\n", 0, "", {}},
        {"line ends at the colon", "name:", 0, "", {}},
        {"only the newline is cut", "name: v \r\n", 0, "v \r", {}},
        {"only the first line counts", "name: first\nsecond: line\n", 0, "first", {}},
        {"126 characters and a newline", "ab: " + x122 + "\n", 0, x122, {}},
        {"127 characters read, newline not reached", "ab: " + x123 + "\nnext: line\n", 0, x123, {}},
        {"longest model text", ": " + x125 + "yz\n", 0, x125, {}},
        {"no colon on the first line", "no colon\nname: value\n", -1, std::nullopt,
         {"[SU_Base_GetModelNumber]no ':' in Model Number line\n"}},
        {"empty file", "", -1, std::nullopt, {"[SU_Base_GetModelNumber]fgets Model Number Error\n"}},
        {"absent file", std::nullopt, -1, std::nullopt, {"[SU_Base_GetModelNumber]Get Model Number Error\n"}},
    };
    const FunctionPrefix prefix;
    for (const ModelCase &c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        fake::clear_log();
        if (c.cpuinfo) {
            fake::redirect(fake::kCpuInfo, fake::scratch_file("cpuinfo", *c.cpuinfo));
        }
        std::array<char, 128> buffer = filled_buffer();

        EXPECT_EQ(SU_Base_GetModelNumber(buffer.data()), c.result);
        if (c.model) {
            ASSERT_LE(c.model->size(), 125U);
            EXPECT_EQ(std::string(buffer.data()), *c.model);
            // Written from the start with its NUL, nothing past it.
            EXPECT_EQ(std::string(buffer.begin() + static_cast<std::ptrdiff_t>(c.model->size()) + 1, buffer.end()),
                      std::string(buffer.size() - c.model->size() - 1, kUntouched));
        } else {
            EXPECT_EQ(buffer, filled_buffer());
        }
        EXPECT_EQ(fake::log_messages(), c.records);
        for (const fake::LogEntry &entry : fake::log_entries()) {
            EXPECT_EQ(entry.prio, 6);
            EXPECT_EQ(entry.tag, "base");
        }
    }
}

TEST_F(Identity, VersionString) {
    std::array<char, 32> version{};
    version.fill(kUntouched);
    EXPECT_EQ(SU_Base_GetVersion(version.data()), 0);
    EXPECT_STREQ(version.data(), "SYSUTILS-1.1.6");
    EXPECT_EQ(version[15], kUntouched);

    EXPECT_EQ(SU_Base_GetVersion(nullptr), -1);
    EXPECT_TRUE(fake::log_messages().empty());
}

} // namespace
