// vandrel-make-pictures: draws the demo's 22 pictures and packs them as
// "data/<stem>.tga" into a ZIP file (the demo's "data.dat").
//
//   vandrel-make-pictures OUTPUT [--tga DIR]
//
// --tga also writes each picture as a loose TGA file into DIR, for viewing.
// The pack is written to a temporary name first and renamed when complete,
// so a failed run never leaves a half-written pack behind.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "output_file.h"
#include "image.h"
#include "pictures.h"
#include "zip_pack.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: vandrel-make-pictures OUTPUT [--tga DIR]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    std::string output, tgaDir;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--tga" && i + 1 < argc) {
            tgaDir = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
        } else {
            return Usage();
        }
    }
    if (output.empty()) return Usage();

    try {
        content::CheckOutputFolder(output);
        std::vector<content::PackMember> members;
        for (const content::PictureInfo &info : content::PictureList()) {
            content::Image image = content::MakePicture(info.stem);
            members.push_back({"data/" + info.stem + ".tga", content::EncodeTga(image, info.bitsPerPixel)});
            if (!tgaDir.empty()) {
                std::filesystem::create_directories(tgaDir);
                content::WriteFile((std::filesystem::path(tgaDir) / (info.stem + ".tga")).string(), members.back().bytes);
            }
        }
        std::string partial = output + ".partial";
        content::WriteZipPack(partial, members);
        std::filesystem::rename(partial, output);
    } catch (const std::exception &e) {
        std::error_code ignored;
        std::filesystem::remove(output + ".partial", ignored);
        std::fprintf(stderr, "vandrel-make-pictures: %s\n", e.what());
        return 1;
    }
    return 0;
}
