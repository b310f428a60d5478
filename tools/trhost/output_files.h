// Output files that appear only when the whole command succeeds: each is written under a temporary
// name beside its final one and renamed when every file is complete. Whatever has not been committed
// when the set is destroyed is removed, so a failed run leaves no output file behind.
#ifndef TRHOST_OUTPUT_FILES_H
#define TRHOST_OUTPUT_FILES_H

#include <string>
#include <vector>

namespace trhost {

class OutputFiles {
public:
    OutputFiles() = default;
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;
    ~OutputFiles();

    // Answers the temporary path to write `final_path` under. Throws CommandError (output stage) when
    // the folder does not exist or the path is already reserved by this set.
    std::string Reserve(const std::string& final_path);

    // Renames every temporary file to its final name. Throws CommandError (output stage), and then
    // removes what it has not renamed.
    void Commit();

private:
    struct Entry {
        std::string final_path;
        std::string temporary_path;
    };
    std::vector<Entry> m_entries;
    bool m_committed = false;
};

}  // namespace trhost

#endif  // TRHOST_OUTPUT_FILES_H
