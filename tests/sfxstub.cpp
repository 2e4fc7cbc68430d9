// A Windows program standing in for the supplier's self-extracting price
// archive: after a short pause it writes where it ran into "here.txt" of
// its current folder and, when "sfx-payload.txt" lies there, copies it to
// "ZOLT.TXT", as the real archive unpacks the new list.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

int main()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::filesystem::path here = std::filesystem::current_path();
    std::ofstream(here / "here.txt") << here.string() << "\n";
    std::error_code error;
    if (std::filesystem::exists(here / "sfx-payload.txt")) {
        std::filesystem::remove(here / "ZOLT.TXT", error);
        std::filesystem::copy_file(here / "sfx-payload.txt", here / "ZOLT.TXT", error);
    }
    return error ? 1 : 0;
}
