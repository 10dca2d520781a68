// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QUrl;
class QWebEngineProfile;

// What a page may load: regular files inside its library folder and nothing
// else. No other local file, no directory listing, no network of any kind,
// no pop-up window and no clipboard. A path inside the library that is a
// symbolic link counts as the file it leads to.
namespace PageGuard {

// The library folder whose files pages may load. Until it is set, pages
// may load no file at all.
void setLibraryFolder(const QString &folder);

enum class PageFile { Readable, Missing, Refused };

// Whether `path` is a page the view may be given: a readable regular file
// inside the library folder. Nothing is opened, so a FIFO cannot block.
PageFile pageFile(const QString &path);

// Whether a page may load `url`: a readable file of the library, or content
// that comes from no file and no network (data: and about:blank).
bool mayLoad(const QUrl &url);

// Puts these rules on every page of `profile`: each request passes through
// mayLoad, and the settings forbid windows, clipboard and remote content.
void guard(QWebEngineProfile *profile);

}  // namespace PageGuard
