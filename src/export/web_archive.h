#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

// Turns an exported page folder into one web archive (MHTML, multipart/related): the folder's
// "index.html" as text/html in UTF-8, then every file of the folder the page links to (src and
// href, relative, inside the folder) as a base64 part whose Content-Location is the link resolved
// against the page's own file: URL, so a browser shows the page with its pictures. The archive is
// the folder's path + ".mht" (numbered "_1", ... when taken: nothing is overwritten), written as a
// new file and streamed, so attachments of any size need no memory. With `deleteFolder` the
// folder's files (not sub-folders, not names starting with ".") are removed and then the folder
// when empty. Returns 0 or errno; `archivePath` gets the archive's path.
int ConvertFolderToWebArchive(const std::string& folder, bool deleteFolder,
                              std::string* archivePath = nullptr);

// Removes the files of a folder (not sub-folders, not names starting with "."), then the folder
// when it is empty.
void DeleteFolderFiles(const std::string& folder);

// The relative links (src and href values, entities decoded) of a page that name files inside its
// folder, each once, in page order; links with a scheme, fragments, absolute paths and any that
// would leave the folder are left out.
std::vector<std::string> LocalLinks(std::string_view page);

// The MIME type of a file, by its extension.
std::string MimeTypeOf(std::string_view fileName);

} // namespace kestrow
