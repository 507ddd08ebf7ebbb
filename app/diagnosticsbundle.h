// What support asks a user for when an update fails: one zip file with the kept logs, the state of
// the installation step, the recorded versions, the staging folder's listing, the proxy settings
// (never their credentials) and the free space. Made by "TalvoUpdate.exe /diagnostics FOLDER",
// which changes nothing, shows no window and starts no client.
#pragma once
#include <string>

// Writes TalvoUpdate-diagnostics-YYYYMMDD-hhmmss.zip into strFolder. TRUE with the bundle's path
// in strBundle; FALSE with why in strBundle.
bool WriteDiagnosticsBundle(const std::string& strFolder, const std::string& strRunLine, std::string& strBundle);

// The proxy setting's text without a user name or password in any of its entries
// ("http=kim:pw@proxy:3128;https=..." keeps "http=proxy:3128;https=...").
std::string RemoveProxyCredentials(const std::string& strProxy);
