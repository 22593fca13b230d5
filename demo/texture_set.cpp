#include "demo/texture_set.h"

#include "assets/pack_file.h"
#include "platform/platform.h"

namespace textures {

Texture start, start1;
Texture I1, I2, I3, I4, I5, I6, I7, I8, I9, I10, I11, I12, I13, I14, I15, I16, I17;
Texture sta, stab, stag;

}  // namespace textures

const std::array<TextureSlot, 22> textureLoadOrder = {{
    {"data/start.tga", &textures::start},
    {"data/start1.tga", &textures::start1},
    {"data/I1.tga", &textures::I1},
    {"data/I2.tga", &textures::I2},
    {"data/I3.tga", &textures::I3},
    {"data/I4.tga", &textures::I4},
    {"data/I5.tga", &textures::I5},
    {"data/I6.tga", &textures::I6},
    {"data/I7.tga", &textures::I7},
    {"data/I8.tga", &textures::I8},
    {"data/I9.tga", &textures::I9},
    {"data/I10.tga", &textures::I10},
    {"data/I11.tga", &textures::I11},
    {"data/I12.tga", &textures::I12},
    {"data/I13.tga", &textures::I13},
    {"data/I14.tga", &textures::I14},
    {"data/I15.tga", &textures::I15},
    {"data/I16.tga", &textures::I16},
    {"data/sta.tga", &textures::sta},
    {"data/stab.tga", &textures::stab},
    {"data/stag.tga", &textures::stag},
    {"data/I17.tga", &textures::I17},
}};

void LoadTextureSet() {
    packFile.folder = platform::Current().ContentFolder();
    packFile.Open("data.dat");
    for (const TextureSlot &slot : textureLoadOrder) {
        // A name kept from the previous rendering context could belong to a
        // different picture in this one; a picture that fails to load now
        // must show untextured instead.
        slot.texture->texId = 0;
        LoadPicture(packFile, slot.path, *slot.texture);
    }
}
