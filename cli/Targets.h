// Where the copies go, so that nothing is overwritten by surprise, nothing
// half-written is left under a real name, and no file of the user's is taken
// for a temporary one. Each refusal or failure has been
// shown as an error line when a function returns false or an object is not
// Ready().
#pragma once

#include <string>

#include "engine/FilePlacement.h"

bool Exists(const std::string& path);
bool IsFolder(const std::string& path);

// False for a folder that holds any cylinder file, unless `force`.
bool MayFill(const std::string& folder, bool force);

// The folder the files go to, made when it is not there and removed again
// when it is still empty at the end (the command failed before writing).
class FolderForFiles {
public:
    explicit FolderForFiles(const std::string& path);
    ~FolderForFiles();
    FolderForFiles(const FolderForFiles&) = delete;
    FolderForFiles& operator=(const FolderForFiles&) = delete;

    bool Ready() const { return m_ready; }

private:
    std::string m_path;
    bool m_ready = false;
    bool m_created = false;
};

// An image written under a temporary name beside its real one, created
// exclusively by this run, and removed unless it has been moved into place.
class PartialImage {
public:
    explicit PartialImage(const std::string& image);
    ~PartialImage();
    PartialImage(const PartialImage&) = delete;
    PartialImage& operator=(const PartialImage&) = delete;

    bool Ready() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    // Gives the complete image its real name, replacing a file there only
    // when `replace`.
    bool Place(bool replace);

private:
    std::string m_image;
    std::string m_path;
    bool m_placed = false;
};

// Cylinder files written into a temporary folder beside their real one,
// created exclusively by this run, and moved into the real one once all are
// complete: all 80 or none (the old ones, with `replace`, are put back on a
// failure). What is left of them at the end is removed, and the temporary
// folder with it.
class PartialFileSet {
public:
    explicit PartialFileSet(const std::string& folder);
    ~PartialFileSet();
    PartialFileSet(const PartialFileSet&) = delete;
    PartialFileSet& operator=(const PartialFileSet&) = delete;

    bool Ready() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    bool Place(bool replace);

private:
    std::string m_folder;
    std::string m_path;
    int m_placed = 0;  // the files moved into place so far
};
