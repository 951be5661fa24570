#include "app_context.h"

#include <filesystem>

#include "texts.h"

std::unique_ptr<CAppContext> CAppContext::Open(const std::string& strHome, std::string& strError) {
    std::error_code ignored;
    if (!std::filesystem::exists(strHome + "kernel/global.ini", ignored)) {
        const bool bChinese = texts::GetLanguage() == texts::Language::kChinese;
        const tessaro::LayoutResult layout = tessaro::InitHome(
            strHome, tessaro::FindInstalledDefaults(), bChinese, CGlobalConfig::Front::kDesktop);
        if (!layout.ok) {
            strError = layout.error;
            return nullptr;
        }
    }
    auto context = std::unique_ptr<CAppContext>(new CAppContext);
    context->m_strHome = strHome;
    if (!tessaro::OpenHome(strHome, CGlobalConfig::Front::kDesktop, context->m_home, strError)) {
        return nullptr;
    }
    std::string strLockError;
    context->m_pLock = CRefreshLock::Acquire(strHome, strLockError);
    if (!context->m_pLock) {
        context->m_refresherPid = CRefreshLock::HolderPid(strHome);
    }
    context->m_pTasks = std::make_unique<CDownloadTasks>(context->Host(), context->Config());
    return context;
}

CAppContext::~CAppContext() {
    m_pTasks.reset();
    m_home.pHost.reset();
    m_home.pConfig.reset();
}

int CAppContext::PruneTorrentFolder(int nDays, bool bRecent) {
    return m_pTasks->CleanTorrentFolder(nDays, bRecent);
}
