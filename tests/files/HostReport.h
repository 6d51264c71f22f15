// The host tool's report of some drawings, read back from its CSV: what the
// file-manager module tests hold every column and page against.
#pragma once

#include <map>
#include <string>
#include <vector>

// One map of column to value per file the host tool (VX_HOST_TOOL_PATH) reads
// as a drawing; it leaves out the others.
std::map<std::string, std::map<std::string, std::string>> HostReport(
    const std::vector<std::string>& APaths);
