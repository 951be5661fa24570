// The site plug-in interface: the fourteen functions every plug-in exports,
// looked up by name by the host.
//
// Calling order a plug-in relies on:
//  1. Page run of a slot: StartDownPage, then repeatedly GetDownPageStatus
//     followed at once by GetDownPageData; when the status is 100,
//     StopDownPage. Rows still collected at the stop are discarded.
//  2. Torrent file: the host fills FileName and DllID, calls StartDownTFile,
//     stores the result in DownHd, polls GetDownTFileStatus until 100 or -1,
//     then calls StopDownTFile.
//  3. Search: StartSearch, then GetSearchStatus followed by GetSearchData
//     until the status is 100, then StopSearch.
//  4. StopAll before unloading or when the user cancels everything.
//
// Threads: a plug-in starts no threads. Everything runs inside these calls;
// only netfetch transfers proceed in the background. A hand-over
// (GetDownPageData, GetSearchData) may come from another thread than the
// poll of the same task; everything else comes from one thread at a time.
//
// Ownership: host and plug-ins are built by one tree with one standard
// library; records and arrays cross as objects and plug-ins only append
// copies to the caller's array. The one buffer a plug-in allocates for the
// host (WebIOCtl) is malloc'ed and the host frees it with free().
//
// Failure: an unsupported slot or an unknown handle is never an error; the
// functions answer the neutral values documented below.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "torrent_record.h"

#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

// Category slot: group 0..5, index 0..7; slot number group * 8 + index.
inline constexpr int kGroupCount = 6;
inline constexpr int kIndexCount = 8;
inline constexpr int kSlotCount = kGroupCount * kIndexCount;

// What a torrent-file task writes under torrents/ after the host's FileName:
// its lock while it fetches, the finished file, and the finished file's
// temporary name while it is being written. The host's names leave room for
// the longest of them.
inline constexpr std::string_view kLockSuffix = ".tmp";
inline constexpr std::string_view kTorrentSuffix = ".torrent";
inline constexpr std::string_view kPartSuffix = ".torrent.part";

// A search handle is the address of the search task; -1 when none started.
using SearchHandle = intptr_t;
inline constexpr SearchHandle kNoSearch = -1;

// 1 for an unsupported slot, when already running or queued; otherwise 1 when
// the first page was requested, 0 when netfetch refused it.
using PFN_StartDownPage = int (*)(int group, int index);
// 1.
using PFN_StopDownPage = int (*)(int group, int index);
// Progress 0..100 of the slot's run; advances the run. 100 when finished,
// failed, unsupported or never started.
using PFN_GetDownPageStatus = int (*)(int group, int index);
// Appends the rows collected since the last hand-over; 1 always.
using PFN_GetDownPageData = int (*)(int group, int index, TorrentRecordArray* out);
// Handle (1 or greater) of the torrent-file task, 0 when it could not start.
using PFN_StartDownTFile = int (*)(TorrentRecord* record);
// 1.
using PFN_StopDownTFile = int (*)(TorrentRecord* record);
// -1 failed, stopped or unknown; 0..99 percent; 100 the file is written.
using PFN_GetDownTFileStatus = int (*)(TorrentRecord* record);
// Stops every page task and deletes every torrent-file task.
using PFN_StopAll = int (*)();
// Sets the slot's refresh date and writes it to kernel/dllmgr.ini at once.
using PFN_ClearPageRecord = int (*)(int group, int index, OleDate date);
// Search handle, or kNoSearch when the search could not start.
using PFN_StartSearch = SearchHandle (*)(const std::string& keyword);
using PFN_StopSearch = int (*)(SearchHandle handle);
// 1; 0 for an unknown handle.
using PFN_GetSearchData = int (*)(SearchHandle handle, TorrentRecordArray* out);
// 0..100; 100 for an unknown handle.
using PFN_GetSearchStatus = int (*)(SearchHandle handle);
// Code 1 (kWebIoDetailText): an HTML text describing the record, malloc'ed
// (length + 1 bytes, zero-terminated) and stored through `buffer`, its
// length + 1 through `length`; a plug-in without such a text leaves both
// untouched. The reserved arguments are not read.
// Code 2 (kWebIoPageFailure): the record is not read; reserved1 and
// reserved2 are a slot's group and index. Why a page of that slot's current
// or last run could not be fetched, one line, handed over as for code 1;
// nothing when every page arrived. Lets the host tell a failed site from one
// with nothing new. 1 always.
inline constexpr int kWebIoDetailText = 1;
inline constexpr int kWebIoPageFailure = 2;
using PFN_WebIOCtl = int (*)(TorrentRecord* record, int code, int reserved1, int reserved2,
                             char** buffer, int reserved3, int* length);

// The export names, in the order the host binds them.
inline constexpr const char* kPluginExportNames[] = {
    "StartDownPage", "StopDownPage",       "GetDownPageStatus", "GetDownPageData", "StartDownTFile",
    "StopDownTFile", "GetDownTFileStatus", "StopAll",           "ClearPageRecord", "StartSearch",
    "StopSearch",    "GetSearchData",      "GetSearchStatus",   "WebIOCtl",
};
