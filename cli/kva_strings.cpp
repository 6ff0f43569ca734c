#include "cli/kva_strings.h"

#include <iterator>

namespace cli {
namespace {

constexpr platform::StringEntry kEntries[] = {
    {61410, u"Done"},
    {61411, u"Error"},
    {61412, u"Processing"},
    {61413, u"Cannot read the file '%s': %s"},  // one line, as every kva message
    {61414, u"Cannot read the attributes of a file"},
};

constexpr platform::StringTable kTable = {kEntries, std::size(kEntries)};

}  // namespace

platform::ModuleInstance KvaInstance() { return &kTable; }

}  // namespace cli
