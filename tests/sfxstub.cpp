// A Windows program standing in for the supplier's self-extracting price
// archive: after a short pause (and, while a file "hold" lies in its current
// folder, until that file is gone) it writes where it ran into "here.txt" of
// its current folder and, when "sfx-payload.txt" lies there, copies it to
// "ZOLT.TXT", as the real archive unpacks the new list.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

int main()
{
    const std::filesystem::path here = std::filesystem::current_path();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Let go by the test, or after half a minute (a program that was waited
    // for then shows as a failure rather than a hang).
    for (int i = 0; i < 3000 && std::filesystem::exists(here / "hold"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ofstream(here / "here.txt") << here.string() << "\n";
    std::error_code error;
    if (std::filesystem::exists(here / "sfx-payload.txt")) {
        std::filesystem::remove(here / "ZOLT.TXT", error);
        std::filesystem::copy_file(here / "sfx-payload.txt", here / "ZOLT.TXT", error);
    }
    return error ? 1 : 0;
}
