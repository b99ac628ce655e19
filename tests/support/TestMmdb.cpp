#include "support/TestMmdb.h"

#include <optional>
#include <vector>

#include "core/util/FileIo.h"
#include "support/Subprocess.h"

namespace zandel::test {

std::string MakeTestMmdb(const std::string& dir, const std::string& name, const std::string& type,
                         const std::string& kind, std::string& error) {
    const std::string path = dir + "/" + name;
    Subprocess writer({"/usr/bin/perl", ZANDEL_MMDB_WRITER, path, type, kind}, dir, "/dev/null", path + ".err");
    const std::optional<int> code = writer.Wait();
    if (code != 0) {
        ReadWholeFile(path + ".err", error);
        error = "libmaxmind-db-writer-perl (scripts/setup.sh installs it) failed: " + error;
        return {};
    }
    return path;
}

} // namespace zandel::test
