// Every key of kernel/global.ini, declared once with its section, type,
// default and valid range, so the configuration store, the front ends, the
// installed defaults and the tests agree on them.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

namespace config {

enum class KeyType { kInteger, kText, kRecord };

// What a loader does with an integer outside [minValue, maxValue] (after
// keeping the low `bits` bits, as the stored width demands).
enum class OutOfRange {
    kDefault,  // a damaged value: take the default
    kClamp,    // a count: keep what fits
};

struct KeyInfo {
    const char* section;  // "%d" stands for the category number
    const char* key;      // "%d" stands for an index
    KeyType type;
    int64_t defaultValue = 0;  // integers only; text defaults are empty
    int bits = 64;             // stored width of an integer
    int64_t minValue = std::numeric_limits<int64_t>::min();
    int64_t maxValue = std::numeric_limits<int64_t>::max();
    OutOfRange outOfRange = OutOfRange::kDefault;
    int recordSize = 0;  // records only: bytes
};

// Category ids and the node kind are 8-bit, and the kind 255 marks the
// sentinel child, so a tree holds at most 254 categories. A leaf is a
// category slot, whose index runs 1..7.
inline constexpr int kMaxCategories = 254;
inline constexpr int kMaxLeaves = 7;
// The search form keeps this many keywords.
inline constexpr int kMaxSearchList = 50;
// Seconds the advertising pane stays hidden after it was shown.
inline constexpr int64_t kShowAdInterval = 43200;

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

inline constexpr KeyInfo kFileTypeCount{.section = "FILETYPE",
                                        .key = "count",
                                        .type = KeyType::kInteger,
                                        .defaultValue = 0,
                                        .bits = 64,
                                        .minValue = 0,
                                        .maxValue = kMaxCategories,
                                        .outOfRange = OutOfRange::kClamp};
inline constexpr KeyInfo kRootName{
    .section = "FILETYPE", .key = "rootname", .type = KeyType::kText};
inline constexpr KeyInfo kCategoryName{
    .section = "FILETYPE%d", .key = "name", .type = KeyType::kText};
// The default is the category's number; an id of 0 would make the node look
// like the root, so it takes the default as well.
inline constexpr KeyInfo kCategoryId{.section = "FILETYPE%d",
                                     .key = "id",
                                     .type = KeyType::kInteger,
                                     .defaultValue = 0,
                                     .bits = 8,
                                     .minValue = 1,
                                     .maxValue = 255};
inline constexpr KeyInfo kSubCount{.section = "FILETYPE%d",
                                   .key = "subcount",
                                   .type = KeyType::kInteger,
                                   .defaultValue = 0,
                                   .bits = 64,
                                   .minValue = 0,
                                   .maxValue = kMaxLeaves,
                                   .outOfRange = OutOfRange::kClamp};
inline constexpr KeyInfo kSubName{
    .section = "FILETYPE%d", .key = "sub_name%d", .type = KeyType::kText};
inline constexpr KeyInfo kSubDbaseName{
    .section = "FILETYPE%d", .key = "sub_dbasename%d", .type = KeyType::kText};

inline constexpr KeyInfo kMaximized{.section = "InterfaceCfg",
                                    .key = "bMax",
                                    .type = KeyType::kInteger,
                                    .defaultValue = 0,
                                    .bits = 32};

inline constexpr KeyInfo kShowADTime{.section = "SysCfg",
                                     .key = "ShowADTime",
                                     .type = KeyType::kInteger,
                                     .defaultValue = 0,
                                     .bits = 64};
inline constexpr KeyInfo kMaxDownTasks{.section = "SysCfg",
                                       .key = "MaxDownTasks",
                                       .type = KeyType::kInteger,
                                       .defaultValue = 5,
                                       .bits = 32,
                                       .minValue = 1,
                                       .maxValue = 10};
inline constexpr KeyInfo kDefaultList{.section = "SysCfg",
                                      .key = "DefaultList",
                                      .type = KeyType::kInteger,
                                      .defaultValue = 0,
                                      .bits = 32,
                                      .minValue = 0,
                                      .maxValue = 3};
inline constexpr KeyInfo kListFont{
    .section = "SysCfg", .key = "ListFont", .type = KeyType::kRecord, .recordSize = 60};
inline constexpr KeyInfo kDataColor{
    .section = "SysCfg", .key = "DataColor", .type = KeyType::kRecord, .recordSize = 20};

inline constexpr KeyInfo kDataDelayTm{.section = "Tool",
                                      .key = "DataDelayTm",
                                      .type = KeyType::kInteger,
                                      .defaultValue = 1000,
                                      .bits = 32,
                                      .minValue = 1,
                                      .maxValue = kInt32Max};
inline constexpr KeyInfo kDataTipWidth{.section = "Tool",
                                       .key = "DataTipWidth",
                                       .type = KeyType::kInteger,
                                       .defaultValue = 300,
                                       .bits = 32,
                                       .minValue = 16,
                                       .maxValue = 4096};
inline constexpr KeyInfo kDataTipHeight{.section = "Tool",
                                        .key = "DataTipHeight",
                                        .type = KeyType::kInteger,
                                        .defaultValue = 400,
                                        .bits = 32,
                                        .minValue = 16,
                                        .maxValue = 4096};

inline constexpr KeyInfo kExitwhenDowning{.section = "NoAskAgain",
                                          .key = "ExitwhenDowning",
                                          .type = KeyType::kInteger,
                                          .defaultValue = 0,
                                          .bits = 32};
inline constexpr KeyInfo kRefreshData{.section = "NoAskAgain",
                                      .key = "RefreshData",
                                      .type = KeyType::kInteger,
                                      .defaultValue = 0,
                                      .bits = 32};
inline constexpr KeyInfo kExitwhenAutoUpdateData{.section = "NoAskAgain",
                                                 .key = "ExitwhenAutoUpdateData",
                                                 .type = KeyType::kInteger,
                                                 .defaultValue = 0,
                                                 .bits = 32};
inline constexpr KeyInfo kStartwhenAutoUpdateData{.section = "NoAskAgain",
                                                  .key = "StartwhenAutoUpdateData",
                                                  .type = KeyType::kInteger,
                                                  .defaultValue = 0,
                                                  .bits = 32};

inline constexpr KeyInfo kProxyType{.section = "Proxy",
                                    .key = "Type",
                                    .type = KeyType::kInteger,
                                    .defaultValue = 0,
                                    .bits = 8,
                                    .minValue = 0,
                                    .maxValue = 4};
inline constexpr KeyInfo kProxyAddr{.section = "Proxy", .key = "Addr", .type = KeyType::kText};
inline constexpr KeyInfo kProxyPort{.section = "Proxy",
                                    .key = "Port",
                                    .type = KeyType::kInteger,
                                    .defaultValue = 0,
                                    .bits = 32,
                                    .minValue = 0,
                                    .maxValue = 65535};
inline constexpr KeyInfo kProxyAuthen{
    .section = "Proxy", .key = "Authen", .type = KeyType::kInteger, .defaultValue = 0, .bits = 8};
inline constexpr KeyInfo kProxyUser{.section = "Proxy", .key = "User", .type = KeyType::kText};
inline constexpr KeyInfo kProxyPassword{
    .section = "Proxy", .key = "Password", .type = KeyType::kText};

inline constexpr KeyInfo kUpdateAuto{.section = "UpdateData",
                                     .key = "Auto",
                                     .type = KeyType::kInteger,
                                     .defaultValue = 0,
                                     .bits = 32};
inline constexpr KeyInfo kUpdateCycle{.section = "UpdateData",
                                      .key = "Cycle",
                                      .type = KeyType::kInteger,
                                      .defaultValue = 1,
                                      .bits = 32,
                                      .minValue = 1,
                                      .maxValue = 24};
inline constexpr KeyInfo kUpdateRefreshTm{.section = "UpdateData",
                                          .key = "RefreshTm",
                                          .type = KeyType::kInteger,
                                          .defaultValue = 0,
                                          .bits = 64};

inline constexpr KeyInfo kInternalWebOpen{.section = "WebCfg",
                                          .key = "InternalWebOpen",
                                          .type = KeyType::kInteger,
                                          .defaultValue = 1,
                                          .bits = 32};

// Parts of advertising networks' host names that the advertising test looks
// for besides "/ad", separated by blanks or commas; missing or empty gives
// kDefaultAdHostFragments. The program only reads it, so it stays out of
// kAllKeys, the keys the saves write.
inline constexpr KeyInfo kAdHostFragments{
    .section = "WebCfg", .key = "AdHostFragments", .type = KeyType::kText};

inline constexpr KeyInfo kSearchListCount{.section = "SEARCHLIST",
                                          .key = "count",
                                          .type = KeyType::kInteger,
                                          .defaultValue = 0,
                                          .bits = 64,
                                          .minValue = 0,
                                          .maxValue = kMaxSearchList,
                                          .outOfRange = OutOfRange::kClamp};
inline constexpr KeyInfo kSearchListEntry{
    .section = "SEARCHLIST", .key = "%d", .type = KeyType::kText};

// The five colours of DataColor, 0x00BBGGRR: entries of today, of yesterday,
// of the day before, all others, and one stored but unused.
inline constexpr std::array<uint32_t, 5> kDefaultDataColors = {0x00FF0000, 0x000080FF, 0x00AF00AF,
                                                               0x00FF0080, 0x006BB7BD};

inline constexpr std::array<const char*, 7> kDefaultAdHostFragments = {
    ".doubleclick.net", "googlesyndication.com", "googleadservices.com", ".adnxs.com",
    ".2mdn.net/",       ".criteo.com/",          ".taboola.com/"};

inline constexpr std::array kAllKeys = {
    kFileTypeCount,
    kRootName,
    kCategoryName,
    kCategoryId,
    kSubCount,
    kSubName,
    kSubDbaseName,
    kMaximized,
    kShowADTime,
    kMaxDownTasks,
    kDefaultList,
    kListFont,
    kDataColor,
    kDataDelayTm,
    kDataTipWidth,
    kDataTipHeight,
    kExitwhenDowning,
    kRefreshData,
    kExitwhenAutoUpdateData,
    kStartwhenAutoUpdateData,
    kProxyType,
    kProxyAddr,
    kProxyPort,
    kProxyAuthen,
    kProxyUser,
    kProxyPassword,
    kUpdateAuto,
    kUpdateCycle,
    kUpdateRefreshTm,
    kInternalWebOpen,
    kSearchListCount,
    kSearchListEntry,
};

}  // namespace config

// The indexer's keys (tessaro-cli serve). CGlobalConfig neither loads nor
// saves them: the indexer reads them at its start and writes only the key.
namespace config {

// Made at the first start from the system's random generator; every request
// must carry it.
inline constexpr KeyInfo kIndexerApiKey{
    .section = "Indexer", .key = "ApiKey", .type = KeyType::kText};
// 1: every search also asks the sites, as extended=1 does.
inline constexpr KeyInfo kIndexerSiteSearch{.section = "Indexer",
                                            .key = "SiteSearch",
                                            .type = KeyType::kInteger,
                                            .defaultValue = 0,
                                            .bits = 32,
                                            .minValue = 0,
                                            .maxValue = 1};
// Seconds a search waits for the sites before it answers with what came.
inline constexpr KeyInfo kIndexerSiteSearchTime{.section = "Indexer",
                                                .key = "SiteSearchTime",
                                                .type = KeyType::kInteger,
                                                .defaultValue = 10,
                                                .bits = 32,
                                                .minValue = 1,
                                                .maxValue = 120};
// Site searches running at once; further searches answer local rows only.
inline constexpr KeyInfo kIndexerMaxSiteSearches{.section = "Indexer",
                                                 .key = "MaxSiteSearches",
                                                 .type = KeyType::kInteger,
                                                 .defaultValue = 2,
                                                 .bits = 32,
                                                 .minValue = 0,
                                                 .maxValue = 16,
                                                 .outOfRange = OutOfRange::kClamp};
// Seconds a torrent-file download may take before the request fails.
inline constexpr KeyInfo kIndexerDownloadTime{.section = "Indexer",
                                              .key = "DownloadTime",
                                              .type = KeyType::kInteger,
                                              .defaultValue = 60,
                                              .bits = 32,
                                              .minValue = 1,
                                              .maxValue = 600};
// The indexer category of a leaf: a standard category number. A leaf of the
// installed tree without the key takes its own standard category (see the
// indexer's category map); any other leaf takes this default, "other".
inline constexpr KeyInfo kSubIndexerCategory{.section = "FILETYPE%d",
                                             .key = "sub_indexercat%d",
                                             .type = KeyType::kInteger,
                                             .defaultValue = 8000,
                                             .bits = 32,
                                             .minValue = 1000,
                                             .maxValue = 8999};

}  // namespace config
