// The last information document received, kept beside the updater as it came (support's bundle
// reads it), and, only while that copy is a document that was accepted, the validators of the
// answer that brought it: the next start then asks for the document only if it changed, and a
// copy the server says is current goes through the same checks as a fresh one.
#pragma once
#include <string>

#include "net/httpvalidator.h"

std::string GetLastDocumentPath();
std::string GetDocumentValidatorPath();

// The kept copy and its validators. False (an ordinary request then) when the record or the copy
// is missing or unreadable, the copy is empty or longer than any document taken, or the record
// holds no validator fit to be sent.
bool ReadKeptDocument(std::string& strDocument, HttpValidator& validator);
// A document as it came. The validators of the copy it replaces go first, so that they never
// vouch for other bytes, whatever happens in between (the copy stays when they cannot go).
void KeepReceivedDocument(const std::string& strDocument);
// The kept copy was accepted: the validators of its answer are kept beside it (none: none kept).
void KeepDocumentValidator(const HttpValidator& validator);
// True when no record is left.
bool ForgetDocumentValidator();
