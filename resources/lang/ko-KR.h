// Korean: every text of the program's resources. UTF-8; \042 is a double quote, \n a line
// break. en-US.h is the reference.
#define ZU_LANG_TAG "ko-KR"
#define ZU_LANG_PRIMARY LANG_KOREAN
#define ZU_LANG_SUB SUBLANG_KOREAN
#define ZU_DIALOG_FONT_SIZE 8
#define ZU_DIALOG_FONT_NAME "MS Sans Serif"

#define STR_ZAB_DESCRIPTION \
  "Vantor, Inc.의 Zuna Access Bridge - 보조 기술에서 Zuna 응용 프로그램에 액세스할 수 있게 합니다"
#define STR_ZAB_APPLICATION_NAME "Zuna Access Bridge 사용"

#define STR_SC_VISIT_NAME "zuna.example 방문"
#define STR_SC_VISIT_DESCRIPTION "Zuna에 대해 자세히 알아봅니다."
#define STR_SC_HELP_NAME "도움말 보기"
#define STR_SC_HELP_DESCRIPTION "Zuna 설치 및 실행과 관련된 문제의 해결 방법을 찾습니다."
#define STR_SC_CONFIGURE_NAME "Zuna 구성"
#define STR_SC_CONFIGURE_DESCRIPTION "Zuna 설정을 보거나 변경합니다."
#define STR_SC_UPDATE_NAME "업데이트 확인"
#define STR_SC_UPDATE_DESCRIPTION "새 Zuna 업데이트가 있는지 확인합니다."
#define STR_SC_ABOUT_NAME "Zuna 정보"
#define STR_SC_ABOUT_DESCRIPTION "Zuna 버전 정보를 봅니다."
#define STR_SC_DOCS_NAME "참조 설명서"
#define STR_SC_DOCS_DESCRIPTION "온라인 API 설명서를 비롯한 개발자 리소스를 봅니다."
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "프로파일링 및 진단 도구 모음인 Zuna Flight Deck을 시작합니다."

#define STR_FIU_PROGRAMS_CAPTION "Zuna 설치 - 프로그램 닫기"
#define STR_FIU_PROGRAMS_TITLE "계속하려면 프로그램을 닫으십시오"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "나열된 프로그램이 Zuna를 사용하고 있습니다. Zuna 파일을 업데이트하려면 이 프로그램을 닫아야 합니다."
#define STR_FIU_PROGRAMS_SAVE_WORK "작업을 저장한 다음 [프로그램 닫기 및 계속]을 클릭하십시오."
#define STR_FIU_PROGRAMS_BUTTON "프로그램 닫기 및 계속"
#define STR_FIU_CONFIRM_PROGRAMS \
  "작업 내용과 데이터를 저장하십시오!\n\n그런 다음 [확인]을 클릭하면 프로그램이 닫히고 Zuna 업데이트가 완료됩니다."
#define STR_FIU_BROWSERS_CAPTION "Zuna 설치 - 브라우저 닫기"
#define STR_FIU_BROWSERS_TITLE "계속하려면 브라우저를 닫으십시오"
#define STR_FIU_BROWSERS_EXPLANATION \
  "브라우저가 Zuna를 사용하고 있습니다. Zuna 파일을 업데이트하려면 브라우저를 닫아야 합니다."
#define STR_FIU_BROWSERS_SAVE_WORK "작업을 저장한 다음 [브라우저 닫기 및 계속]을 클릭하십시오."
#define STR_FIU_BROWSERS_BUTTON "브라우저 닫기 및 계속"
#define STR_FIU_CONFIRM_BROWSERS \
  "작업 내용과 데이터를 저장하십시오!\n\n그런 다음 [확인]을 클릭하면 브라우저가 닫히고 Zuna 업데이트가 완료됩니다."
#define STR_FIU_BROWSER_IE "·  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "·  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "·  Safari\n"
#define STR_FIU_BROWSER_CHROME "·  Google Chrome\n"

#define STR_CONFIG_ERROR_CAPTION "Zuna 제거 - 구성 오류"
#define STR_CONFIG_PATH_TOO_LONG "구성 파일의 경로가 너무 깁니다. 경로는 260자보다 짧아야 합니다."
#define STR_CONFIG_CANNOT_OPEN "구성 파일 %s을(를) 열 수 없습니다."
#define STR_CONFIG_NOT_UTF8_TEXT "구성 파일 %s은(는) 올바른 UTF-8 텍스트가 아닙니다."
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "구성 파일의 경로를 사용할 수 없습니다. 예약된 이름이나 와일드카드가 없는 전체 경로를 사용하십시오."
#define STR_CONFIG_NOT_FOUND "구성 파일 %s을(를) 찾을 수 없습니다."
#define STR_CONFIG_FAULTY_LINE "구성 파일 %s의 %s번째 줄에 오류가 있습니다."
#define STR_CONFIG_INCOMPLETE_WRITE "구성 파일을 모두 쓰지 못했습니다."
#define STR_CONFIG_READ_ERROR "구성 파일 %s을(를) 읽을 수 없습니다."
#define STR_CONFIG_UNEXPECTED "구성을 읽는 동안 예기치 않은 오류가 발생했습니다."
#define STR_CONFIG_CANNOT_CLOSE "구성 파일을 닫을 수 없습니다."
#define STR_CONFIG_CANNOT_DELETE "구성 파일을 삭제할 수 없습니다."
#define STR_CONFIG_MISSING_ARGUMENT "필요한 구성 파일이나 값이 지정되지 않았습니다."
#define STR_CONFIG_PATH_NOT_UTF8 "구성 파일의 경로가 올바른 UTF-8 텍스트가 아닙니다."
#define STR_CONFIG_FILE_TOO_LARGE "구성 파일 %s이(가) 너무 큽니다. 1MB보다 작아야 합니다."
#define STR_CONFIG_BAD_ARGUMENTS "다음 명령줄 인수는 지원되지 않거나 값이 잘못되었습니다.\n\n%s"
