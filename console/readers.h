// Readers: each asks for one answer, taking it from the rest of the line
// when there is one; word lists matched by unambiguous abbreviation.
#pragma once

// ---- readers (parse.cpp) --------------------------------------------------

char* getuser(const char* prompt, const char* defaultText, bool fold);
char* get_commandWord(const char* prompt, const char* defaultText, bool fold);
char* get_word(const char* prompt, const char* defaultText, bool fold);
char* get_line(const char* prompt, const char* defaultText, bool fold);
long get_number(const char* prompt, long defaultValue);
long get_hexNumber(const char* prompt, long defaultValue);
long i_getNumberInRange(const char* prompt, long defaultValue, long low, long high);
bool get_boolean(const char* prompt, const char* noText, const char* yesText, bool defaultValue);
bool get_yesno(const char* prompt, bool defaultValue);
char* get_phone(const char* prompt, const char* defaultText);
char* get_areaCode(const char* prompt, const char* defaultText);
char* get_filename(const char* prompt, const char* defaultText);
bool replaceWord(const char* prompt, char** variable, bool fold);

struct PhoneNumber {
  int areaCode, exchange, number;
  long extension;
  bool parsed;
};
PhoneNumber parse_phone(const char* text);
bool is_valid_phone(const char* text);
char* normalize_phone(const char* text);  // new text
// Splits a file name; false when the text yields no word. Parts are new texts.
bool parse_filename(const char* text, char** name, char** extension);

char* i_getField(const char* delimiters, const char* line, int n, bool skipRuns);
char* i_afterField(const char* delimiters, const char* line, int n, bool skipRuns);
char* uc_string(char* text);
bool is_blank(const char* text);

// ---- word lists (wordlist.cpp) -------------------------------------------

int compare_name(const char* a, const char* b, int len);
int find_command(const char* word, const char* const* list);
int get_list(const char* prompt, const char* defaultText, const char* const* list, bool allowNone);
