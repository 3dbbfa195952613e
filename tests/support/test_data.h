#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace hb::test {

// Real files shared by the tests; machines without them skip those tests.
inline std::filesystem::path testDataFolder()
{
    return HINTBOARD_SOURCE_DIR "/../shared/testdata";
}

// The bytes of a file under the test-data folder, or none when it is absent.
inline std::optional<std::string> readTestData(const std::filesystem::path& relative)
{
    std::ifstream stream(testDataFolder() / relative, std::ios::binary);
    if (!stream)
        return std::nullopt;
    return std::string{std::istreambuf_iterator<char>(stream), {}};
}

} // namespace hb::test
