#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The captions that the localized buttons carry, one entry per language folder of
// :/images/multilang/. The mode-button captions follow the headings of the home page's
// lines in language.ini where those are short enough for a 95-pixel button.
struct captions_s {
  QString code;                       // folder name: "en", "de", ...
  QString family;                     // font family that covers every character of the captions
  QString files;                      // mode button 1: file recovery
  QString partitions;                 // mode button 2: partition recovery
  QString deep;                       // mode button 3: deep scan
  QString start_title, start_note;    // home page: start a scan
  QString resume_title, resume_note;  // home page: open a saved scan result
};

const std::vector<captions_s>& caption_table();
