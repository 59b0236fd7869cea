// A process with a known memory make-up for the benchmark support tests:
//
//   bench_memory_child FILE ANON_MIB READY RELEASE
//
// maps FILE and reads every page of it (file-backed memory, as the virtual drive maps a
// disc image), fills ANON_MIB MiB of its own (private memory), then writes its process id
// to READY and holds everything until RELEASE exists.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_memory_child FILE ANON_MIB READY RELEASE\n");
        return 2;
    }
    const int fd = open(argv[1], O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size == 0) {
        std::perror(argv[1]);
        return 1;
    }
    const auto size = static_cast<size_t>(st.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) {
        std::perror("mmap");
        return 1;
    }
    const auto* bytes = static_cast<const unsigned char*>(mapped);
    unsigned sum = 0;
    for (size_t i = 0; i < size; i += 4096)
        sum += bytes[i];
    std::vector<char> own(static_cast<size_t>(std::atol(argv[2])) << 20);
    std::memset(own.data(), static_cast<int>(sum | 1), own.size());

    const std::string ready = argv[3];
    {
        std::ofstream out(ready + ".part");
        out << getpid() << '\n';
    }
    std::filesystem::rename(ready + ".part", ready);
    // Bounded, so that a test that fails before its release leaves nothing behind.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!std::filesystem::exists(argv[4])) {
        if (std::chrono::steady_clock::now() > giveUp)
            return 3;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    munmap(mapped, size);
    close(fd);
    return own[own.size() / 2] != 0 ? 0 : 4;
}
