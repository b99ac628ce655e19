#pragma once

#include <string>

namespace zandel::test {

// A fresh directory under $TMPDIR (else /tmp), removed with everything in it when the object goes.
class TempDir final {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const;
    // Writes the bytes as they are (no line-end conversion) and returns the file's path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    // The file's bytes; empty when it cannot be read.
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;
    // The names in the directory, sorted.
    std::string Listing() const;

    // The same for any path, also for a process that has no TempDir of its own.
    static void WriteFile(const std::string& path, const std::string& bytes);
    static std::string ReadFile(const std::string& path);
    static std::string Names(const std::string& dir);

private:
    std::string m_path;
};

} // namespace zandel::test
