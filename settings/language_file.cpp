#include "settings/language_file.h"

bool language_file_c::next_piece(std::string& piece)
{
    piece.clear();
    char c;
    while (piece.size() < max_piece && file_.getChar(&c)) {
        if (c == '\r') {
            char next;
            if (file_.peek(&next, 1) == 1 && next == '\n') {
                continue;  // CR LF reads as LF
            }
        }
        piece.push_back(c);
        if (c == '\n') {
            break;
        }
    }
    return !piece.empty();
}
