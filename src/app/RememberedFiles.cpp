#include "app/RememberedFiles.h"

#include <filesystem>

#include "app/SetupIni.h"

namespace carillon {
namespace {

constexpr const char* kGeneral = "General";

}  // namespace

CRememberedFiles::CRememberedFiles(CSetupIni& setup, std::string rememberFile)
    : m_setup(setup), m_strRememberFile(std::move(rememberFile)) {}

std::string CRememberedFiles::Get(const std::string& key) const {
    if (const auto chosen = m_chosen.find(key); chosen != m_chosen.end()) return chosen->second;
    if (!m_strRememberFile.empty()) {
        const std::string remembered =
            CSetupIni(m_strRememberFile, SetupAccess::kReadOnly).GetString(kGeneral, key, "");
        if (!remembered.empty()) return remembered;
    }
    return m_setup.GetString(kGeneral, key, "");
}

bool CRememberedFiles::Set(const std::string& key, const std::string& value) {
    m_chosen[key] = value;
    if (m_strRememberFile.empty()) return m_setup.SetString(kGeneral, key, value);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(m_strRememberFile).parent_path(), ec);
    return CSetupIni(m_strRememberFile).SetString(kGeneral, key, value);
}

}  // namespace carillon
