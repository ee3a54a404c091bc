// The platform's limit for an installation: CopyFileA over a list of files and nothing
// else. Prints the milliseconds the copies took.
//   usage: copy_only.exe LIST    (LIST: one "source|destination" pair of Windows paths a line)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: copy_only.exe LIST\n");
        return 2;
    }
    FILE* list = fopen(argv[1], "r");
    if (list == nullptr) {
        fprintf(stderr, "copy_only: cannot read %s\n", argv[1]);
        return 2;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    char line[1024];
    while (fgets(line, sizeof line, list) != nullptr) {
        line[strcspn(line, "\r\n")] = '\0';
        char* bar = strchr(line, '|');
        if (bar != nullptr) {
            *bar = '\0';
            pairs.emplace_back(line, bar + 1);
        }
    }
    fclose(list);
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&start);
    for (const auto& pair : pairs) {
        if (!CopyFileA(pair.first.c_str(), pair.second.c_str(), FALSE)) {
            fprintf(stderr, "copy_only: %s failed (%lu)\n", pair.first.c_str(), GetLastError());
            return 1;
        }
    }
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    printf("%.1f\n", static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                         static_cast<double>(frequency.QuadPart));
    return 0;
}
