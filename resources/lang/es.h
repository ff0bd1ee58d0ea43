// Spanish (all regions): every text of the program's resources. UTF-8; \042 is a double
// quote, \n a line break. en-US.h is the reference.
#define ZU_LANG_TAG "es"
#define ZU_LANG_PRIMARY LANG_SPANISH
#define ZU_LANG_SUB SUBLANG_NEUTRAL
#define ZU_DIALOG_FONT_SIZE 8
#define ZU_DIALOG_FONT_NAME "MS Sans Serif"

#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge, de Vantor, Inc., proporciona acceso a las aplicaciones de Zuna a las tecnologías de asistencia"
#define STR_ZAB_APPLICATION_NAME "Activar Zuna Access Bridge"

#define STR_SC_VISIT_NAME "Visitar zuna.example"
#define STR_SC_VISIT_DESCRIPTION "Más información sobre Zuna."
#define STR_SC_HELP_NAME "Obtener ayuda"
#define STR_SC_HELP_DESCRIPTION "Encontrar soluciones a problemas de instalación y ejecución de Zuna."
#define STR_SC_CONFIGURE_NAME "Configurar Zuna"
#define STR_SC_CONFIGURE_DESCRIPTION "Ver o cambiar la configuración de Zuna."
#define STR_SC_UPDATE_NAME "Buscar actualizaciones"
#define STR_SC_UPDATE_DESCRIPTION "Comprobar si hay nuevas actualizaciones de Zuna disponibles."
#define STR_SC_ABOUT_NAME "Acerca de Zuna"
#define STR_SC_ABOUT_DESCRIPTION "Ver la información de la versión de Zuna."
#define STR_SC_DOCS_NAME "Documentación de referencia"
#define STR_SC_DOCS_DESCRIPTION "Ver recursos para desarrolladores, incluida la documentación de la API en línea."
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "Iniciar el conjunto de herramientas de perfilado y diagnóstico Zuna Flight Deck."

#define STR_FIU_PROGRAMS_CAPTION "Instalación de Zuna - Cerrar programas"
#define STR_FIU_PROGRAMS_TITLE "Cierre los programas para continuar"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "Los programas de la lista están usando Zuna. Deben cerrarse para que se puedan actualizar los archivos de Zuna."
#define STR_FIU_PROGRAMS_SAVE_WORK "Guarde su trabajo y haga clic en \042Cerrar programas y continuar\042."
#define STR_FIU_PROGRAMS_BUTTON "Cerrar programas y continuar"
#define STR_FIU_CONFIRM_PROGRAMS \
  "¡Guarde su trabajo y sus datos!\n\nA continuación, haga clic en Aceptar para cerrar los programas y completar la actualización de Zuna."
#define STR_FIU_BROWSERS_CAPTION "Instalación de Zuna - Cerrar navegadores"
#define STR_FIU_BROWSERS_TITLE "Cierre los navegadores para continuar"
#define STR_FIU_BROWSERS_EXPLANATION \
  "Su navegador está usando Zuna y debe cerrarse para que se puedan actualizar los archivos de Zuna."
#define STR_FIU_BROWSERS_SAVE_WORK "Guarde su trabajo y haga clic en \042Cerrar navegadores y continuar\042."
#define STR_FIU_BROWSERS_BUTTON "Cerrar navegadores y continuar"
#define STR_FIU_CONFIRM_BROWSERS \
  "¡Guarde su trabajo y sus datos!\n\nA continuación, haga clic en Aceptar para cerrar los navegadores y completar la actualización de Zuna."
#define STR_FIU_BROWSER_IE "•  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "•  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "•  Safari\n"
#define STR_FIU_BROWSER_CHROME "•  Google Chrome\n"

#define STR_CONFIG_ERROR_CAPTION "Desinstalación de Zuna - Error de configuración"
#define STR_CONFIG_PATH_TOO_LONG "La ruta de un archivo de configuración es demasiado larga. Las rutas deben tener menos de 260 caracteres."
#define STR_CONFIG_CANNOT_OPEN "No se pudo abrir el archivo de configuración %s."
#define STR_CONFIG_NOT_UTF8_TEXT "El archivo de configuración %s no es texto UTF-8 válido."
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "La ruta de un archivo de configuración no es aceptable. Use una ruta completa sin nombres reservados ni caracteres comodín."
#define STR_CONFIG_NOT_FOUND "No se encontró el archivo de configuración %s."
#define STR_CONFIG_FAULTY_LINE "El archivo de configuración %s tiene un error en la línea %s."
#define STR_CONFIG_INCOMPLETE_WRITE "No se pudo escribir completamente el archivo de configuración."
#define STR_CONFIG_READ_ERROR "No se pudo leer el archivo de configuración %s."
#define STR_CONFIG_UNEXPECTED "Se produjo un error inesperado al leer la configuración."
#define STR_CONFIG_CANNOT_CLOSE "No se pudo cerrar un archivo de configuración."
#define STR_CONFIG_CANNOT_DELETE "No se pudo eliminar un archivo de configuración."
#define STR_CONFIG_MISSING_ARGUMENT "No se indicó un archivo o un valor de configuración necesario."
#define STR_CONFIG_PATH_NOT_UTF8 "La ruta de un archivo de configuración no es texto UTF-8 válido."
#define STR_CONFIG_FILE_TOO_LARGE "El archivo de configuración %s es demasiado grande. Debe ocupar menos de 1 MB."
#define STR_CONFIG_BAD_ARGUMENTS "Estos argumentos de la línea de comandos no se admiten o tienen valores no válidos:\n\n%s"
