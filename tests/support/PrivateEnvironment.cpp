// Linked into every test program. The test script gives each run a private settings store and
// private XDG folders; a test program started by hand gets the same here, before main, so that
// no test ever reads or writes the settings of the user who started it.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class TPrivateEnvironment {
public:
    TPrivateEnvironment() {
        const char* given = std::getenv("TABULO_TEST_TMP");
        if (given && *given)
            return; // the test script has set everything up
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tabulo-test.XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort(); // without a private folder the user's own settings would be at risk
        m_dir = pattern;
        const std::string runtime = m_dir + "/runtime";
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_dir + "/data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (m_dir + "/cache").c_str(), 1);
        setenv("TABULO_SETTINGS", (m_dir + "/settings.sqlite").c_str(), 1);
        setenv("TABULO_TEST_TMP", m_dir.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }

    ~TPrivateEnvironment() {
        if (m_dir.empty())
            return;
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

private:
    std::string m_dir;
};

const TPrivateEnvironment environment;

} // namespace
