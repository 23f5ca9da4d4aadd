#pragma once

namespace fernhold {

// `fernhold --cloud-folders`: the five cloud-folder rows, each as the label,
// a tab and the folder (or the text for a folder not found).
[[nodiscard]] int RunCloudFoldersCommand();

} // namespace fernhold
