// Portuguese (Brazil): every text of the program's resources. UTF-8; \042 is a double
// quote, \n a line break. en-US.h is the reference.
#define ZU_LANG_TAG "pt-BR"
#define ZU_LANG_PRIMARY LANG_PORTUGUESE
#define ZU_LANG_SUB SUBLANG_PORTUGUESE_BRAZILIAN
#define ZU_DIALOG_FONT_SIZE 8
#define ZU_DIALOG_FONT_NAME "MS Sans Serif"

#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge, da Vantor, Inc., oferece às tecnologias assistivas acesso aos aplicativos Zuna"
#define STR_ZAB_APPLICATION_NAME "Ativar o Zuna Access Bridge"

#define STR_SC_VISIT_NAME "Visitar zuna.example"
#define STR_SC_VISIT_DESCRIPTION "Saiba mais sobre o Zuna."
#define STR_SC_HELP_NAME "Obter ajuda"
#define STR_SC_HELP_DESCRIPTION "Encontre soluções para problemas de instalação e execução do Zuna."
#define STR_SC_CONFIGURE_NAME "Configurar o Zuna"
#define STR_SC_CONFIGURE_DESCRIPTION "Exibir ou alterar as configurações do Zuna."
#define STR_SC_UPDATE_NAME "Verificar atualizações"
#define STR_SC_UPDATE_DESCRIPTION "Verificar se há novas atualizações do Zuna disponíveis."
#define STR_SC_ABOUT_NAME "Sobre o Zuna"
#define STR_SC_ABOUT_DESCRIPTION "Exibir as informações de versão do Zuna."
#define STR_SC_DOCS_NAME "Documentação de referência"
#define STR_SC_DOCS_DESCRIPTION "Exibir recursos para desenvolvedores, incluindo a documentação on-line da API."
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "Iniciar o conjunto de ferramentas de criação de perfil e diagnóstico Zuna Flight Deck."

#define STR_FIU_PROGRAMS_CAPTION "Instalação do Zuna - Fechar programas"
#define STR_FIU_PROGRAMS_TITLE "Feche os programas para continuar"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "Os programas listados estão usando o Zuna. Eles precisam ser fechados para que os arquivos do Zuna possam ser atualizados."
#define STR_FIU_PROGRAMS_SAVE_WORK "Salve seu trabalho e clique em \042Fechar programas e continuar\042."
#define STR_FIU_PROGRAMS_BUTTON "Fechar programas e continuar"
#define STR_FIU_CONFIRM_PROGRAMS \
  "Salve seu trabalho e seus dados!\n\nDepois, clique em OK para fechar os programas e concluir a atualização do Zuna."
#define STR_FIU_BROWSERS_CAPTION "Instalação do Zuna - Fechar navegadores"
#define STR_FIU_BROWSERS_TITLE "Feche os navegadores para continuar"
#define STR_FIU_BROWSERS_EXPLANATION \
  "Seu navegador está usando o Zuna e precisa ser fechado para que os arquivos do Zuna possam ser atualizados."
#define STR_FIU_BROWSERS_SAVE_WORK "Salve seu trabalho e clique em \042Fechar navegadores e continuar\042."
#define STR_FIU_BROWSERS_BUTTON "Fechar navegadores e continuar"
#define STR_FIU_CONFIRM_BROWSERS \
  "Salve seu trabalho e seus dados!\n\nDepois, clique em OK para fechar os navegadores e concluir a atualização do Zuna."
#define STR_FIU_BROWSER_IE "•  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "•  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "•  Safari\n"
#define STR_FIU_BROWSER_CHROME "•  Google Chrome\n"

#define STR_CONFIG_ERROR_CAPTION "Desinstalação do Zuna - Erro de configuração"
#define STR_CONFIG_PATH_TOO_LONG "O caminho de um arquivo de configuração é longo demais. Os caminhos devem ter menos de 260 caracteres."
#define STR_CONFIG_CANNOT_OPEN "Não foi possível abrir o arquivo de configuração %s."
#define STR_CONFIG_NOT_UTF8_TEXT "O arquivo de configuração %s não é um texto UTF-8 válido."
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "O caminho de um arquivo de configuração não é aceitável. Use um caminho completo sem nomes reservados nem caracteres curinga."
#define STR_CONFIG_NOT_FOUND "O arquivo de configuração %s não foi encontrado."
#define STR_CONFIG_FAULTY_LINE "O arquivo de configuração %s tem um erro na linha %s."
#define STR_CONFIG_INCOMPLETE_WRITE "Não foi possível gravar o arquivo de configuração por completo."
#define STR_CONFIG_READ_ERROR "Não foi possível ler o arquivo de configuração %s."
#define STR_CONFIG_UNEXPECTED "Ocorreu um erro inesperado ao ler a configuração."
#define STR_CONFIG_CANNOT_CLOSE "Não foi possível fechar um arquivo de configuração."
#define STR_CONFIG_CANNOT_DELETE "Não foi possível excluir um arquivo de configuração."
#define STR_CONFIG_MISSING_ARGUMENT "Um arquivo ou valor de configuração necessário não foi informado."
#define STR_CONFIG_PATH_NOT_UTF8 "O caminho de um arquivo de configuração não é um texto UTF-8 válido."
#define STR_CONFIG_FILE_TOO_LARGE "O arquivo de configuração %s é grande demais. Ele deve ter menos de 1 MB."
#define STR_CONFIG_BAD_ARGUMENTS "Estes argumentos de linha de comando não são aceitos ou têm valores inválidos:\n\n%s"
