#include "rar_test_util.h"

#include <gtest/gtest.h>
#include <nettle/sha2.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "log.h"
#include "quorbenhal.h"
#include "test_files.h"

namespace rartest {

std::string Sha256Hex(const std::string &data) {
    sha256_ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, data.size(), reinterpret_cast<const uint8_t *>(data.data()));
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&ctx, sizeof digest, digest);
    std::string out;
    for (uint8_t b : digest) out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15];
    return out;
}

std::vector<std::string> ListNames(const std::filesystem::path &archive, int *count) {
    RarListEntry *list = nullptr;
    const int n = RarListFiles(archive.string().c_str(), &list);
    std::vector<std::string> names;
    for (RarListEntry *e = list; e != nullptr; e = e->next) names.push_back(e->name);
    RarFreeList(list);
    if (count != nullptr) *count = n;
    return names;
}

Extracted Extract(const std::filesystem::path &archive, const std::string &name, const char *password) {
    unsigned char *data = reinterpret_cast<unsigned char *>(1);
    uint32_t size = 12345;
    Extracted e;
    e.result = RarExtractToMemory(&data, &size, name.c_str(), archive.string().c_str(), password);
    if (e.result) {
        e.data.assign(reinterpret_cast<const char *>(data), size);
        free(data);
    } else {
        e.nullOnFailure = data == nullptr && size == 0;
    }
    return e;
}

namespace {
// Every test program logs into a folder of its own.
class PrivateLogEnvironment : public ::testing::Environment {
    std::unique_ptr<PrivateLog> log_;
    void SetUp() override { log_ = std::make_unique<PrivateLog>(); }
    void TearDown() override { log_.reset(); }
};
::testing::Environment *const privateLogEnvironment = ::testing::AddGlobalTestEnvironment(new PrivateLogEnvironment);
}  // namespace

PrivateLog::PrivateLog() {
    quorbenhal::logNotStarted = 0;
    quorbenhal::RarLogStart((dir_ / "debug_unrar.txt").string().c_str());
}

std::vector<std::string> PrivateLog::Messages() const {
    std::vector<std::string> out;
    const std::string text = rartest::ReadFile(dir_ / "debug_unrar.txt"), marker = "\n              - ";
    for (size_t pos = 0; (pos = text.find(marker, pos)) != std::string::npos;) {
        pos += marker.size();
        std::string message = text.substr(pos, text.find('\n', pos) - pos);
        if (!message.empty() && message.back() == '\r') message.pop_back();  // CR LF on Windows
        out.push_back(message);
    }
    return out;
}

std::vector<CorpusArchive> CorpusArchives(const std::vector<std::string> &folders) {
    std::vector<CorpusArchive> out;
    for (const std::string &folder : folders) {
        const auto shared = rartest::SharedDir();
        if (!shared) continue;
        const auto manifest = *shared / "corpus" / folder / "manifest.json";
        std::ifstream in(manifest);
        const nlohmann::json json = nlohmann::json::parse(in, nullptr, false);
        if (json.is_discarded()) continue;
        for (size_t i = 0; i < json["archives"].size(); ++i) {
            const nlohmann::json &a = json["archives"][i];
            const std::string file = a["file"];
            out.push_back({folder, file, i, a["password"].is_string() ? std::optional<std::string>(a["password"]) : std::nullopt,
                           manifest.parent_path() / file, manifest});
        }
    }
    if (out.empty()) out.push_back({});
    return out;
}

void PrintTo(const CorpusArchive &a, std::ostream *os) { *os << a.folder << "/" << a.file; }

std::string CorpusTestName(const ::testing::TestParamInfo<CorpusArchive> &info) {
    std::string name = info.param.file.empty() ? "CorpusMissing" : info.param.folder + "_" + info.param.file;
    for (char &c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

}  // namespace rartest
