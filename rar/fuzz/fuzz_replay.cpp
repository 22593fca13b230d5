// The regression driver: replays files through a fuzz target's entry point
// as an ordinary program, so every seed and every past finding runs in every
// build. Arguments: files or folders (a missing folder counts as empty).
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

static int Replay(const char *path) {
    FILE *file = fopen(path, "rb");
    if (file == nullptr) {
        fprintf(stderr, "cannot read %s\n", path);
        exit(1);
    }
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    uint8_t *data = static_cast<uint8_t *>(malloc(size > 0 ? size : 1));
    if (data == nullptr || fread(data, 1, size, file) != static_cast<size_t>(size)) exit(1);
    fclose(file);
    LLVMFuzzerTestOneInput(data, size);
    free(data);
    return 1;
}

int main(int argc, char **argv) {
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat st;
        if (stat(argv[i], &st) != 0) continue;
        if (!S_ISDIR(st.st_mode)) {
            count += Replay(argv[i]);
            continue;
        }
        DIR *dir = opendir(argv[i]);
        while (dirent *e = dir ? readdir(dir) : nullptr) {
            if (e->d_name[0] == '.') continue;
            char path[4096];
            snprintf(path, sizeof path, "%s/%s", argv[i], e->d_name);
            count += Replay(path);
        }
        if (dir) closedir(dir);
    }
    printf("replayed %d inputs\n", count);
    return 0;
}
