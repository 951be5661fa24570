#include "heron_pages.h"

#include "gbk_text.h"

namespace heron_pages {

std::string SearchAnswer(const std::vector<Entry>& entries) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<BTList Total=\"" +
                      std::to_string(entries.size()) + "\">\r\n";
    int id = 100;
    for (const Entry& entry : entries) {
        ++id;
        xml += "<BTInfo ID=\"" + std::to_string(id) + "\" PID=\"0\" TID=\"" +
               std::to_string(id * 3) + "\" FID=\"12\" AID=\"" + entry.aid + "\" APATH=\"" +
               entry.apath + "\" Hash=\"ab12\" FSize=\"" + entry.bytes + "\" DateLine=\"" +
               std::to_string(entry.when) + "\" Views=\"77\" Sources=\"" +
               std::to_string(entry.sources) + "\" Connected=\"" + std::to_string(entry.connected) +
               "\">\r\n<FileName Index=\"0\">" + entry.fileName +
               "</FileName>\r\n<Poster>发布者</Poster>\r\n<Desc Index=\"0\">" + entry.description +
               "</Desc>\r\n</BTInfo>\r\n";
    }
    return testing_support::Gbk(xml + "</BTList>\r\n");
}

}  // namespace heron_pages
