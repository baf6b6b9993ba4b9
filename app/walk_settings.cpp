#include "walk_settings.h"

TreeWalkSettings walkSettingsFor(const RunSettings& settings, bool sizes) {
    TreeWalkSettings walk;
    walk.folder = settings.folder;
    walk.rootPath = settings.folderPath();
    for (const std::u16string& excluded : settings.walk.excludedFolders)
        walk.excludedFolders.push_back(walk.rootPath + excluded);
    walk.recursive = settings.walk.recursive;
    walk.summaryName = settings.summaryName;
    walk.sizes = sizes;
    return walk;
}
