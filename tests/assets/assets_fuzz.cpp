// libFuzzer target: arbitrary bytes through the asset layer's entry points,
// in a real offscreen OpenGL context.
//   - as a picture, straight to Texture::LoadTGA;
//   - as the pack "data.dat": PackFile::Open, then Load of every member it
//     lists (and of a name it does not hold), each result to LoadTGA.
// Nothing may crash, read out of bounds or leak, whatever the bytes.
#include "assets/pack_file.h"
#include "assets/texture.h"
#include "platform/offscreen/offscreen_gl.h"
#include "platform/opengl.h"

#include <unzip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Members looked at per pack: enough for the demo's 22 pictures.
constexpr int kMaxMembers = 32;

void LoadAndDrop(MemFile file) {
    Texture texture;
    if (texture.LoadTGA(file)) glDeleteTextures(1, &texture.texId);
    FreeMem(&file);
}

// Where the pack is written, removed when the process ends.
const std::string &ScratchFolder() {
    static const struct Folder {
        std::string path = [] {
            std::string pattern = std::filesystem::temp_directory_path() / "assets-fuzz-XXXXXX";
            if (mkdtemp(pattern.data()) == nullptr) std::abort();
            return pattern;
        }();
        ~Folder() { std::filesystem::remove_all(path); }
    } folder;
    return folder.path;
}

}  // namespace

// Load's "not found" messages would drown libFuzzer's own report.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static platform::OffscreenGL *gl = [] {
        auto *context = new platform::OffscreenGL;
        std::string error;
        if (!context->Create(16, 16, &error)) {
            std::fprintf(stderr, "assets_fuzz: no offscreen OpenGL: %s\n", error.c_str());
            std::abort();
        }
        return context;
    }();
    (void)gl;

    auto *bytes = new unsigned char[size > 0 ? size : 1];
    if (size > 0) std::memcpy(bytes, data, size);
    LoadAndDrop(MemFile{"", bytes, static_cast<int32_t>(size), 0});

    const std::string pack = ScratchFolder() + "/data.dat";
    std::FILE *out = std::fopen(pack.c_str(), "wb");
    if (out == nullptr) std::abort();
    if (size > 0) std::fwrite(data, 1, size, out);
    std::fclose(out);

    PackFile file;
    file.folder = ScratchFolder().c_str();
    file.mode = 1;  // the pack only
    if (file.Open("data.dat") == 1) {
        std::vector<std::string> names;
        for (int status = unzGoToFirstFile(file.handle); status == UNZ_OK && names.size() < kMaxMembers;
             status = unzGoToNextFile(file.handle)) {
            char name[256] = {};
            unz_file_info info;  // minizip writes it unasked
            if (unzGetCurrentFileInfo(file.handle, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK)
                names.push_back(name);
        }
        names.push_back("data/none.tga");
        for (const std::string &name : names) LoadAndDrop(file.Load(name.c_str()));
        (void)file.CurrentFileInfo();
    }
    return 0;
}
