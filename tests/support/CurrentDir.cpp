#include "support/CurrentDir.h"

#include <system_error>

namespace fs = std::filesystem;

CurrentDir::CurrentDir(const fs::path& folder) : m_bChanged(false)
{
    std::error_code ec;
    m_previous = fs::current_path(ec);
    if (ec)
        return;
    fs::current_path(folder, ec);
    m_bChanged = !ec;
}

CurrentDir::~CurrentDir()
{
    if (!m_bChanged)
        return;
    // The previous folder outlives every test that changes away from it.
    std::error_code ec;
    fs::current_path(m_previous, ec);
}
