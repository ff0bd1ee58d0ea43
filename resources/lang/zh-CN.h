// Chinese (Simplified): every text of the program's resources. UTF-8; \042 is a double
// quote, \n a line break. en-US.h is the reference.
#define ZU_LANG_TAG "zh-CN"
#define ZU_LANG_PRIMARY LANG_CHINESE
#define ZU_LANG_SUB SUBLANG_CHINESE_SIMPLIFIED
#define ZU_DIALOG_FONT_SIZE 8
#define ZU_DIALOG_FONT_NAME "MS Sans Serif"

#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge，由 Vantor, Inc. 提供，使辅助技术能够访问 Zuna 应用程序"
#define STR_ZAB_APPLICATION_NAME "启用 Zuna Access Bridge"

#define STR_SC_VISIT_NAME "访问 zuna.example"
#define STR_SC_VISIT_DESCRIPTION "了解有关 Zuna 的更多信息。"
#define STR_SC_HELP_NAME "获取帮助"
#define STR_SC_HELP_DESCRIPTION "查找安装和运行 Zuna 时所遇问题的解决方法。"
#define STR_SC_CONFIGURE_NAME "配置 Zuna"
#define STR_SC_CONFIGURE_DESCRIPTION "查看或更改 Zuna 设置。"
#define STR_SC_UPDATE_NAME "检查更新"
#define STR_SC_UPDATE_DESCRIPTION "查看是否有新的 Zuna 更新。"
#define STR_SC_ABOUT_NAME "关于 Zuna"
#define STR_SC_ABOUT_DESCRIPTION "查看 Zuna 版本信息。"
#define STR_SC_DOCS_NAME "参考文档"
#define STR_SC_DOCS_DESCRIPTION "查看开发人员资源，包括联机 API 文档。"
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "启动 Zuna Flight Deck 性能分析和诊断工具套件。"

#define STR_FIU_PROGRAMS_CAPTION "Zuna 安装程序 - 关闭程序"
#define STR_FIU_PROGRAMS_TITLE "请关闭程序以继续"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "列出的程序正在使用 Zuna。必须关闭这些程序，才能更新 Zuna 文件。"
#define STR_FIU_PROGRAMS_SAVE_WORK "请保存您的工作，然后单击“关闭程序并继续”。"
#define STR_FIU_PROGRAMS_BUTTON "关闭程序并继续"
#define STR_FIU_CONFIRM_PROGRAMS \
  "请保存您的工作和数据！\n\n然后单击“确定”关闭程序并完成 Zuna 更新。"
#define STR_FIU_BROWSERS_CAPTION "Zuna 安装程序 - 关闭浏览器"
#define STR_FIU_BROWSERS_TITLE "请关闭浏览器以继续"
#define STR_FIU_BROWSERS_EXPLANATION \
  "您的浏览器正在使用 Zuna，必须关闭浏览器才能更新 Zuna 文件。"
#define STR_FIU_BROWSERS_SAVE_WORK "请保存您的工作，然后单击“关闭浏览器并继续”。"
#define STR_FIU_BROWSERS_BUTTON "关闭浏览器并继续"
#define STR_FIU_CONFIRM_BROWSERS \
  "请保存您的工作和数据！\n\n然后单击“确定”关闭浏览器并完成 Zuna 更新。"
#define STR_FIU_BROWSER_IE "·  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "·  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "·  Safari\n"
#define STR_FIU_BROWSER_CHROME "·  Google Chrome\n"

#define STR_CONFIG_ERROR_CAPTION "Zuna 卸载 - 配置错误"
#define STR_CONFIG_PATH_TOO_LONG "配置文件的路径太长。路径必须少于 260 个字符。"
#define STR_CONFIG_CANNOT_OPEN "无法打开配置文件 %s。"
#define STR_CONFIG_NOT_UTF8_TEXT "配置文件 %s 不是有效的 UTF-8 文本。"
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "配置文件的路径不可接受。请使用不含保留名称或通配符的完整路径。"
#define STR_CONFIG_NOT_FOUND "找不到配置文件 %s。"
#define STR_CONFIG_FAULTY_LINE "配置文件 %s 的第 %s 行有错误。"
#define STR_CONFIG_INCOMPLETE_WRITE "无法完整写入配置文件。"
#define STR_CONFIG_READ_ERROR "无法读取配置文件 %s。"
#define STR_CONFIG_UNEXPECTED "读取配置时发生意外错误。"
#define STR_CONFIG_CANNOT_CLOSE "无法关闭配置文件。"
#define STR_CONFIG_CANNOT_DELETE "无法删除配置文件。"
#define STR_CONFIG_MISSING_ARGUMENT "未提供所需的配置文件或值。"
#define STR_CONFIG_PATH_NOT_UTF8 "配置文件的路径不是有效的 UTF-8 文本。"
#define STR_CONFIG_FILE_TOO_LARGE "配置文件 %s 太大。文件必须小于 1 MB。"
#define STR_CONFIG_BAD_ARGUMENTS "以下命令行参数不受支持或值无效:\n\n%s"
