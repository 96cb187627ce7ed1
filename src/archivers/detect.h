// Format detection by file-name extension or by what the format libraries recognise in the content, and the
// one table of formats that the archive component creates its archivers from.
#pragma once

#include <memory>
#include <string>

#include "archivers/archiver.h"
#include "archivers/archiver_type.h"

// Never raises: content checks turn every failure into a negative answer.
TArchiverType DetectArchiverType(const std::string& fileName, bool byExtension);

// The archiver of a type (created and its library loaded), or null for types that have none.
std::unique_ptr<TArchiver> CreateArchiver(TArchiverType type);
