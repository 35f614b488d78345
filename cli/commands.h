// The subcommands of vellumar-cli. Each gets its own name as argv[0] and returns the exit status:
// 0 success, 1 failure, 2 usage error (130 when the user interrupted a job).
#pragma once

int RunTagsCommand(int argc, char** argv);
int RunOverlayCommand(int argc, char** argv);
int RunAddFolderCommand(int argc, char** argv);
int RunRebuildCommand(int argc, char** argv);
int RunSearchCommand(int argc, char** argv);
int RunDumpCommand(int argc, char** argv);
int RunServeCommand(int argc, char** argv);
