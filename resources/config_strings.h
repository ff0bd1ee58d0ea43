// Resource ids and English texts of the configuration error messages. Shared by the
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

#define STR_CONFIG_ERROR_CAPTION "Zuna Uninstall - Configuration Error"
#define STR_CONFIG_PATH_TOO_LONG "The path of a configuration file is too long. Paths must be shorter than 260 characters."
#define STR_CONFIG_CANNOT_OPEN "The configuration file %s could not be opened."
#define STR_CONFIG_NOT_UTF8_TEXT "The configuration file %s is not valid UTF-8 text."
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "The path of a configuration file is not acceptable. Use a full path without reserved names or wildcards."
#define STR_CONFIG_NOT_FOUND "The configuration file %s could not be found."
#define STR_CONFIG_FAULTY_LINE "The configuration file %s has an error on line %s."
#define STR_CONFIG_INCOMPLETE_WRITE "The configuration file could not be written completely."
#define STR_CONFIG_READ_ERROR "The configuration file %s could not be read."
#define STR_CONFIG_UNEXPECTED "An unexpected error occurred while reading the configuration."
#define STR_CONFIG_CANNOT_CLOSE "A configuration file could not be closed."
#define STR_CONFIG_CANNOT_DELETE "A configuration file could not be deleted."
#define STR_CONFIG_MISSING_ARGUMENT "A configuration file or value that is needed was not given."
#define STR_CONFIG_PATH_NOT_UTF8 "The path of a configuration file is not valid UTF-8 text."
#define STR_CONFIG_FILE_TOO_LARGE "The configuration file %s is too large. It must be smaller than 1 MB."
#define STR_CONFIG_BAD_ARGUMENTS "These command-line arguments are not supported or have invalid values:\n\n%s"
