// Output files that appear only when the whole command succeeds, and that never destroy what the
// user did not mean to replace.
//
// Every output is first written to a fresh regular file of its own, so that the writers (libsndfile,
// cairo) may seek. When every output is complete, Commit delivers each one by what its path names:
//   - a regular file, or nothing yet: the temporary file, written beside it, is renamed over it (a
//     reader never sees half a file; an existing file keeps its permission bits);
//   - a symbolic link: the same for the file the link points to; the link itself stays;
//   - a device, a pipe, a socket or anything else that is not a regular file: the bytes are copied
//     into it, and the node stays;
//   - "-": the bytes are copied to standard output.
// Whatever has not been committed when the set is destroyed is removed, so a failed run leaves no
// output file behind. Every message names the path as the user gave it, never a temporary name.
#ifndef TRHOST_OUTPUT_FILES_H
#define TRHOST_OUTPUT_FILES_H

#include <functional>
#include <string>
#include <vector>

namespace trhost {

// The path that stands for standard output.
inline constexpr const char* kStandardOutputPath = "-";

class OutputFiles {
public:
    OutputFiles() = default;
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;
    ~OutputFiles();

    // Answers the temporary path to write `final_path` under. Throws CommandError (output stage) when
    // the folder does not exist, the path is a folder, or the path (or the file a link leads to) is
    // already reserved by this set.
    std::string Reserve(const std::string& final_path);

    // Runs `writer` on the temporary path of a reserved output; a CommandError it throws is passed on
    // with the user's path in place of the temporary one.
    void Write(const std::string& temporary_path, const std::function<void(const std::string&)>& writer) const;

    // Delivers every output as the header describes. Throws CommandError (output stage) naming the
    // output that could not be delivered; the temporary files are removed either way.
    void Commit();

    // Whether some output goes to standard output, where the command's own report then must not go.
    bool UsesStandardOutput() const;

private:
    enum class Kind { kReplace, kCopyInto, kStandardOutput };
    struct Entry {
        std::string final_path;      // as the user gave it, for messages
        std::string target_path;     // what is written: the path, or the end of its chain of links
        std::string temporary_path;  // a fresh regular file
        Kind kind = Kind::kReplace;
    };
    void Deliver(const Entry& entry) const;
    std::vector<Entry> m_entries;
};

}  // namespace trhost

#endif  // TRHOST_OUTPUT_FILES_H
