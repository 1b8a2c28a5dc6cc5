#include "RackCommand.h"

#include "Paths.h"
#include "RackCompare.h"

#include <cstdio>
#include <cstring>

namespace fs = std::filesystem;

namespace {

// Writes the comparison of the records in csvFiles and prints it; 0 or an error number.
int CompareAndPrint(const std::vector<fs::path>& csvFiles, const CampaignArgs& args,
                    const fs::path& folder) {
    std::vector<ComparedRun> runs;
    std::vector<fs::path> sources;
    for (const fs::path& csv : csvFiles) {
        std::string error;
        if (ReadCampaignRecord(csv, &runs, &error)) {
            sources.push_back(csv);
        } else {
            std::fprintf(stderr, "zenithprobe-campaign: left out %s\n", error.c_str());
        }
    }
    const std::vector<CompareRow> rows = CompareRuns(runs, args.settings.reference);
    std::vector<fs::path> paths;
    const int error =
        WriteComparison(folder, UtcNowMs(), rows, args.settings.reference, sources, &paths);
    std::printf("\n%s\n", CompareText(rows).c_str());
    for (const fs::path& p : paths) {
        std::printf("%s\n", p.c_str());
    }
    std::fflush(stdout);
    if (error != 0) {
        std::fprintf(stderr, "zenithprobe-campaign: writing the comparison in %s failed (%s)\n",
                     folder.c_str(), std::strerror(error));
    }
    return error;
}

fs::path OutputFolder(const CampaignArgs& args) {
    if (!args.out.empty()) {
        return args.out;
    }
    fs::path folder = DataFolder();
    MakePrivateFolder(folder); // an installed copy's data folder may not exist yet
    return folder;
}

} // namespace

int RunCompare(const CampaignArgs& args) {
    std::vector<fs::path> csvFiles;
    for (const fs::path& folder : args.compare) {
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) {
            std::fprintf(stderr, "zenithprobe-campaign: %s is not a folder\n", folder.c_str());
            return 2;
        }
        for (const fs::path& csv : FindCampaignRecords(folder)) {
            csvFiles.push_back(csv);
        }
    }
    if (csvFiles.empty()) {
        std::fprintf(stderr, "zenithprobe-campaign: no campaign record under the folders\n");
        return 2;
    }
    return CompareAndPrint(csvFiles, args, OutputFolder(args)) == 0 ? 0 : 1;
}
