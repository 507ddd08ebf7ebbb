// The catalogue as one JSON object, texts converted from code page 949 to UTF-8.
#pragma once

#include <string>

class CProjectData;

// A JSON string literal (quotes included) of a code page 949 text.
std::string JsonString(const std::string& cp949);

// hasDownload is what Parse returned.
std::string CatalogueToJson(const CProjectData& catalogue, int hasDownload);
