#pragma once
// Serves the files of a folder (and its sub-folders) on an HttpTestServer: the file
// "<folder>/a/b.htm" is the page "<urlPath>a/b.htm", with status 200 and a content type from its
// extension (.htm/.html text/html, .txt text/plain, anything else application/octet-stream).
// The files are read once, when this is called.

#include <string>

#include "support/http_test_server.h"

namespace sorvik::test {

// Returns the number of files served, or -1 when the folder can't be read.
int ServeFolder(HttpTestServer& server, const std::string& folder, const std::string& urlPath = "/");

}  // namespace sorvik::test
