// Resource ids of the configuration error messages. Shared by the
// resource script and by the code that loads them. Each message is a printf format:
// the first %s is the text given with the error (a path, or the refused arguments),
// the second, where there is one, the number of the faulty line.
#pragma once

#define IDS_CONFIG_ERROR_CAPTION 3073
#define IDS_CONFIG_PATH_TOO_LONG 3074
#define IDS_CONFIG_CANNOT_OPEN 3075
#define IDS_CONFIG_NOT_UTF8_TEXT 3076
#define IDS_CONFIG_PATH_NOT_ACCEPTABLE 3077
#define IDS_CONFIG_NOT_FOUND 3078
#define IDS_CONFIG_FAULTY_LINE 3079
#define IDS_CONFIG_INCOMPLETE_WRITE 3080
#define IDS_CONFIG_READ_ERROR 3081
#define IDS_CONFIG_UNEXPECTED 3082
#define IDS_CONFIG_CANNOT_CLOSE 3083
#define IDS_CONFIG_CANNOT_DELETE 3084
#define IDS_CONFIG_MISSING_ARGUMENT 3086
#define IDS_CONFIG_PATH_NOT_UTF8 3087
#define IDS_CONFIG_FILE_TOO_LARGE 3088
#define IDS_CONFIG_BAD_ARGUMENTS 3089
