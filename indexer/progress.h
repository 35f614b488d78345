// The callbacks through which the jobs report.
#pragma once

// Called on the job's worker thread: value, text (valid during the call only), finished (1 on the last
// call of a run, else 0), and the user data given when the job was started. The result is ignored.
//
// The indexing jobs' value is one more than the files processed so far (the rebuild may lag a file
// behind until its next report), except for the reports that count nothing: the add-folder job's while
// it lists the folder and removes old records (0 and 1), and the rebuild's first (100) while it empties
// the old index.
using ProgressCallback = int (*)(int value, const char* text, int finished, void* userData);

// Called on the search job's thread for each matching record (file path, thumbnail path, finished 0)
// and once at the end with two empty texts and finished 1.
using SearchCallback = int (*)(const char* path, const char* thumbnail, int finished, void* userData);
