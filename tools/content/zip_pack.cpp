#include "zip_pack.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace content {
namespace {

// Every member carries this date, so the archive does not change from one
// run to the next.
constexpr int kYear = 2026, kMonth = 1, kDay = 1;

void Check(int result, const std::string &what, const std::string &path) {
    if (result != ZIP_OK) throw std::runtime_error("cannot write \"" + path + "\": " + what + " failed (" +
                                                   std::to_string(result) + ")");
}

}  // namespace

void WriteZipPack(const std::string &path, const std::vector<PackMember> &members) {
    // minizip's reader does not find the end record of an archive that
    // holds nothing but that record, so such a pack could not be opened.
    if (members.empty()) throw std::invalid_argument("a pack needs at least one member");
    // A fresh archive: zipOpen with APPEND_STATUS_CREATE truncates.
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip) throw std::runtime_error("cannot create \"" + path + "\"");
    try {
        for (const PackMember &m : members) {
            zip_fileinfo info{};
            info.tmz_date.tm_year = kYear;
            info.tmz_date.tm_mon = kMonth - 1;  // months count from 0
            info.tmz_date.tm_mday = kDay;
            info.dosDate = 0;  // 0: the date comes from tmz_date
            Check(zipOpenNewFileInZip(zip, m.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                      Z_BEST_COMPRESSION),
                  "adding " + m.name, path);
            // zipWriteInFileInZip takes an unsigned length; write in chunks.
            size_t done = 0;
            while (done < m.bytes.size()) {
                size_t chunk = std::min<size_t>(m.bytes.size() - done, 1u << 20);
                Check(zipWriteInFileInZip(zip, m.bytes.data() + done, static_cast<unsigned>(chunk)),
                      "writing " + m.name, path);
                done += chunk;
            }
            Check(zipCloseFileInZip(zip), "finishing " + m.name, path);
        }
    } catch (...) {
        zipClose(zip, nullptr);
        std::remove(path.c_str());
        throw;
    }
    if (zipClose(zip, nullptr) != ZIP_OK) {
        std::remove(path.c_str());
        throw std::runtime_error("cannot finish \"" + path + "\"");
    }
}

}  // namespace content
