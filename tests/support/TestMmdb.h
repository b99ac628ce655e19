#pragma once

#include <string>

namespace zandel::test {

// A small MaxMind-format database written at test time by Debian's MaxMind::DB::Writer
// (support/make-test-mmdb.pl says which networks it knows): `kind` is country, asn or city, `type` the
// metadata's database_type. Its path, or "" when the writer failed (its error in `error`).
std::string MakeTestMmdb(const std::string& dir, const std::string& name, const std::string& type,
                         const std::string& kind, std::string& error);

} // namespace zandel::test
