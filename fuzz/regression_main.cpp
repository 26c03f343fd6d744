// Runs every input of the fuzz corpus through the fuzz target once: the
// cases the fuzzer found, kept as regression tests.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    // The inputs run in a child: a failed check ends it at once, and the
    // folder it worked in (named after its process) is removed here anyway.
    pid_t child = ::fork();
    if (child == 0) {
        int cases = 0;
        for (int a = 1; a < argc; ++a) {
            for (const auto& entry : std::filesystem::directory_iterator(argv[a])) {
                std::ifstream in(entry.path(), std::ios::binary);
                std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
                LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
                ++cases;
            }
        }
        std::printf("%d corpus inputs passed\n", cases);
        std::exit(cases > 0 ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return 1;
    std::error_code ec;
    for (const char* root : {"/dev/shm", "/tmp"})
        std::filesystem::remove_all(std::string(root) + "/brimlet-fuzz-" + std::to_string(child), ec);
    if (WIFSIGNALED(status)) std::fprintf(stderr, "stopped by signal %d\n", WTERMSIG(status));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
