// The JSON forms of the output model, for the printer. Private to cli/.
#pragma once

#include <string>

#include "cli/result.h"

namespace rotorix::cli {

// The document of a command's output, indented; list and show as they always were, set, import
// and export as {"boards": [...]} with one record per board.
std::string jsonDocument(const ListOutput& output);
std::string jsonDocument(const ShowOutput& output);
std::string jsonDocument(const SetOutput& output);
std::string jsonDocument(const ImportOutput& output);
std::string jsonDocument(const ExportOutput& output);
std::string jsonDocument(const RuleOutput& output);
std::string jsonDocument(const WhichOutput& output);

std::string jsonDocument(const TestOutput& output);  // on one line, as test's other objects

// One change of watch's, on one line; the same for test's settings and each of its steps.
std::string jsonLine(const ButtonChange& change);
std::string jsonLine(const Testing& testing);
std::string jsonLine(const TestStep& step);

}  // namespace rotorix::cli
