// The temporary files of whole-file writes and extracts: one name form,
// which clean-up recognises, and the clean-up of those a killed process
// left behind.
#pragma once

#include <string>

namespace brimlet {

// A name for a temporary file, of the one form that clean-up removes once its
// process is gone: ".brimlet-<host>-<pid>-<n>.tmp" (<host>: this machine's).
std::string temporaryFileName();
// Whether `name` looks like one of ours (".brimlet-*.tmp", any host): such
// names are never written as an entry's file.
bool isTemporaryFileName(const std::string& name);
// A writer killed while its temporary file had a name leaves it behind; a
// later write into the same folder removes those of this host whose
// process is gone. Only names of exactly our form are touched. Best effort.
void removeStaleTemporaries(const std::string& folder);

// "<host>-<pid>": a name of this process's own on this machine, for a
// folder that lives as long as the process does (the window's drag folder).
std::string processTag();
// Whether `tag` is a processTag() of this host whose process is gone, so
// that what it names may be removed.
bool isStaleProcessTag(const std::string& tag);

}  // namespace brimlet
