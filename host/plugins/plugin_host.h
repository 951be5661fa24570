// PluginHost: the one object through which the program talks to the site
// plug-ins listed in <home>/kernel/dllmgr.ini.
//
// The plug-ins are loaded on the first operation that needs them (StopAll
// excepted) and unloaded when the host is destroyed. Page, search and
// clean-up operations are fanned out to every usable plug-in in list order;
// torrent-file and information operations go to the one plug-in named by
// the record's DllID, the plug-in's position in the [DLL] list.
//
// A listed plug-in whose file cannot be loaded, or that lacks one of the
// fourteen exports, keeps its position so that the DllIDs stored with
// catalogue rows still route to the right plug-in; it is skipped by every
// call and reported once through TakeLoadReports(). The combined statuses
// divide by the number of usable plug-ins.
//
// Single-threaded: every operation comes from the thread that drives the
// front end (GUI timer or CLI loop). The host takes no locks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ini_file.h"
#include "ole_date.h"
#include "plugin_api.h"
#include "torrent_record.h"

class PluginHost : public CIniFile {
  public:
    enum class PluginState {
        kLoaded,       // every export bound; takes part in every call
        kMissingFile,  // no file name, or the file cannot be loaded
        kIncomplete,   // loaded, but an export is missing
    };

    struct PluginInfo {
        int nDllID = 0;
        std::string strName;  // registry name: the path relative to kernel/
        PluginState state = PluginState::kMissingFile;
        std::string strReason;  // empty for a loaded plug-in
    };

    // One handle per listed plug-in, element i from plug-in i (kNoSearch for a
    // plug-in that is not usable or could not start the search).
    using SearchHandles = std::vector<SearchHandle>;

    // strHome is the home folder, ending in '/'.
    explicit PluginHost(std::string strHome);
    // Stops all work of the loaded plug-ins, unloads them and deletes the
    // information-tip file.
    ~PluginHost() override;
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Page runs, fanned out with the same slot. Start and stop answer 1.
    int StartDownPage(int group, int index);
    int StopDownPage(int group, int index);
    // Combined status: the sum of the answers other than -1 divided by the
    // number of usable plug-ins; -1 when there is none or every one answered -1.
    int GetDownPageStatus(int group, int index);
    // Appends the entries of every plug-in, each stamped with its DllID. 1.
    int GetDownPageData(int group, int index, TorrentRecordArray& records);
    // The plug-ins whose site failed a page of the slot's current or last
    // run, with why.
    struct PageFailure {
        int nDllID = 0;
        std::string strReason;
    };
    std::vector<PageFailure> GetDownPageFailures(int group, int index);

    // Routed by record.DllID. A DllID that names no usable plug-in gives the
    // failure answers (handle 0, status -1, stop 0).
    // The caller sets record.FileName first; the handle is also stored in
    // record.DownHd.
    [[nodiscard]] int StartDownTFile(TorrentRecord& record);
    // record.DownHd is 0 afterwards.
    int StopDownTFile(TorrentRecord& record);
    [[nodiscard]] int GetDownTFileStatus(TorrentRecord& record);
    bool IsDownTFileAlive(TorrentRecord& record);

    // Only plug-ins already loaded are told; never loads them.
    void StopAll();
    void ClearPageRecord(int group, int index, OleDate date);

    // The handles go back to StopSearch, which stops every search and empties
    // the array.
    SearchHandles StartSearch(const std::string& strKeyword);
    void StopSearch(SearchHandles& handles);
    int GetSearchData(const SearchHandles& handles, TorrentRecordArray& records);
    int GetSearchStatus(const SearchHandles& handles);

    // The plug-in's HTML description of the record (WebIOCtl code 1); empty
    // when it has none.
    std::string GetEntryInfoText(TorrentRecord& record);
    // Writes the information-tip page of the record into the run's tip file
    // (<home>/<number>.htm, created on first use, rewritten every time) and
    // answers its path; empty when the file cannot be created or written.
    // The record's Name is escaped as HTML text; the plug-in's detail text
    // goes in as the markup it is.
    [[nodiscard]] std::string RenderInfoTip(TorrentRecord& record);

    // Releases every module; the next operation loads the list again.
    void Unload();

    // The list as loaded (loads it first).
    const std::vector<PluginInfo>& GetPluginInfo();
    // Number of listed plug-ins (loads first). DllIDs run from 0 to this - 1.
    int GetPluginCount();
    int GetUsablePluginCount();
    // [Site_<registry name>] Base of dllmgr.ini; empty when the key is
    // missing (the plug-in then uses its compiled default).
    std::string GetSiteBase(int nDllID);
    // The load problems not yet taken, one sentence each; every broken
    // plug-in, and a [DLL] count that is not a whole number, negative or
    // above kMaxPlugins, is reported once per load.
    std::vector<std::string> TakeLoadReports();
    // Loads the list if needed. False, with a sentence, when the registry
    // exists but cannot be read: the host then has no plug-ins, which must
    // not pass for an empty list.
    [[nodiscard]] bool CheckRegistry(std::string& strError);

    // More listed plug-ins than this are not loaded.
    static constexpr int64_t kMaxPlugins = 256;

    static const char* StateName(PluginState state);

    bool IsLoaded() const { return m_bLoaded; }
    const std::string& GetHome() const { return m_strHome; }

  private:
    struct ModuleCloser {
        void operator()(void* pModule) const;
    };
    using ModuleHandle = std::unique_ptr<void, ModuleCloser>;

    struct FileCloser {
        void operator()(std::FILE* pFile) const { std::fclose(pFile); }
    };

    struct Exports {
        PFN_StartDownPage pStartDownPage = nullptr;
        PFN_StopDownPage pStopDownPage = nullptr;
        PFN_GetDownPageStatus pGetDownPageStatus = nullptr;
        PFN_GetDownPageData pGetDownPageData = nullptr;
        PFN_StartDownTFile pStartDownTFile = nullptr;
        PFN_StopDownTFile pStopDownTFile = nullptr;
        PFN_GetDownTFileStatus pGetDownTFileStatus = nullptr;
        PFN_StopAll pStopAll = nullptr;
        PFN_ClearPageRecord pClearPageRecord = nullptr;
        PFN_StartSearch pStartSearch = nullptr;
        PFN_StopSearch pStopSearch = nullptr;
        PFN_GetSearchData pGetSearchData = nullptr;
        PFN_GetSearchStatus pGetSearchStatus = nullptr;
        PFN_WebIOCtl pWebIOCtl = nullptr;
    };

    struct Plugin {
        ModuleHandle module;
        Exports exports;
        bool bUsable = false;
    };

    // fn(nDllID, exports) for every usable plug-in, in list order.
    template <typename Fn>
    void ForEachUsable(Fn fn);
    // Sums statusOf(nDllID, exports) over the usable plug-ins, skipping -1,
    // and divides by their number; -1 when none answered anything else.
    template <typename Fn>
    int CombineStatus(Fn statusOf);
    void EnsureLoaded();
    void LoadPlugin(int nDllID);
    // [DLL] count, at most kMaxPlugins; its problems go to the reports.
    int64_t ReadCount();
    // The plug-in a record routes to, or null when its DllID names none usable.
    const Exports* Route(const TorrentRecord& record);
    // Stamps DllID on the elements a plug-in appended after `nOldSize`.
    static void Stamp(TorrentRecordArray& records, size_t nOldSize, int nDllID);
    bool OpenInfoTipFile();

    std::string m_strHome;
    bool m_bLoaded = false;
    uint16_t m_nCount = 0;
    std::vector<Plugin> m_plugins;
    std::vector<PluginInfo> m_info;
    std::vector<std::string> m_reports;
    std::string m_strRegistryError;
    std::unique_ptr<std::FILE, FileCloser> m_pInfoTipFile;
    std::string m_strInfoTipPath;
};
