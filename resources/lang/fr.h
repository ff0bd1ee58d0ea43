// French (all regions): every text of the program's resources. UTF-8; \042 is a double
// quote, \n a line break. en-US.h is the reference.
#define ZU_LANG_TAG "fr"
#define ZU_LANG_PRIMARY LANG_FRENCH
#define ZU_LANG_SUB SUBLANG_NEUTRAL
#define ZU_DIALOG_FONT_SIZE 8
#define ZU_DIALOG_FONT_NAME "MS Sans Serif"

#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge, de Vantor, Inc., donne aux technologies d'assistance l'accès aux applications Zuna"
#define STR_ZAB_APPLICATION_NAME "Activer Zuna Access Bridge"

#define STR_SC_VISIT_NAME "Visiter zuna.example"
#define STR_SC_VISIT_DESCRIPTION "En savoir plus sur Zuna."
#define STR_SC_HELP_NAME "Obtenir de l'aide"
#define STR_SC_HELP_DESCRIPTION "Trouver des solutions aux problèmes d'installation et d'exécution de Zuna."
#define STR_SC_CONFIGURE_NAME "Configurer Zuna"
#define STR_SC_CONFIGURE_DESCRIPTION "Afficher ou modifier les paramètres de Zuna."
#define STR_SC_UPDATE_NAME "Rechercher des mises à jour"
#define STR_SC_UPDATE_DESCRIPTION "Vérifier si de nouvelles mises à jour de Zuna sont disponibles."
#define STR_SC_ABOUT_NAME "À propos de Zuna"
#define STR_SC_ABOUT_DESCRIPTION "Afficher les informations de version de Zuna."
#define STR_SC_DOCS_NAME "Documentation de référence"
#define STR_SC_DOCS_DESCRIPTION "Afficher les ressources pour développeurs, dont la documentation de l'API en ligne."
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "Lancer la suite d'outils de profilage et de diagnostic Zuna Flight Deck."

#define STR_FIU_PROGRAMS_CAPTION "Installation de Zuna - Fermer les programmes"
#define STR_FIU_PROGRAMS_TITLE "Fermez les programmes pour continuer"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "Les programmes de la liste utilisent Zuna. Ils doivent être fermés pour que les fichiers de Zuna puissent être mis à jour."
#define STR_FIU_PROGRAMS_SAVE_WORK "Enregistrez votre travail, puis cliquez sur \042Fermer et continuer\042."
#define STR_FIU_PROGRAMS_BUTTON "Fermer et continuer"
#define STR_FIU_CONFIRM_PROGRAMS \
  "Enregistrez votre travail et vos données !\n\nCliquez ensuite sur OK pour fermer vos programmes et terminer la mise à jour de Zuna."
#define STR_FIU_BROWSERS_CAPTION "Installation de Zuna - Fermer les navigateurs"
#define STR_FIU_BROWSERS_TITLE "Fermez les navigateurs pour continuer"
#define STR_FIU_BROWSERS_EXPLANATION \
  "Votre navigateur utilise Zuna et doit être fermé pour que les fichiers de Zuna puissent être mis à jour."
#define STR_FIU_BROWSERS_SAVE_WORK "Enregistrez votre travail, puis cliquez sur \042Fermer et continuer\042."
#define STR_FIU_BROWSERS_BUTTON "Fermer et continuer"
#define STR_FIU_CONFIRM_BROWSERS \
  "Enregistrez votre travail et vos données !\n\nCliquez ensuite sur OK pour fermer vos navigateurs et terminer la mise à jour de Zuna."
#define STR_FIU_BROWSER_IE "•  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "•  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "•  Safari\n"
#define STR_FIU_BROWSER_CHROME "•  Google Chrome\n"

#define STR_CONFIG_ERROR_CAPTION "Désinstallation de Zuna - Erreur de configuration"
#define STR_CONFIG_PATH_TOO_LONG "Le chemin d'un fichier de configuration est trop long. Les chemins doivent compter moins de 260 caractères."
#define STR_CONFIG_CANNOT_OPEN "Impossible d'ouvrir le fichier de configuration %s."
#define STR_CONFIG_NOT_UTF8_TEXT "Le fichier de configuration %s n'est pas un texte UTF-8 valide."
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "Le chemin d'un fichier de configuration n'est pas acceptable. Utilisez un chemin complet sans noms réservés ni caractères génériques."
#define STR_CONFIG_NOT_FOUND "Le fichier de configuration %s est introuvable."
#define STR_CONFIG_FAULTY_LINE "Le fichier de configuration %s contient une erreur à la ligne %s."
#define STR_CONFIG_INCOMPLETE_WRITE "Le fichier de configuration n'a pas pu être entièrement écrit."
#define STR_CONFIG_READ_ERROR "Impossible de lire le fichier de configuration %s."
#define STR_CONFIG_UNEXPECTED "Une erreur inattendue s'est produite lors de la lecture de la configuration."
#define STR_CONFIG_CANNOT_CLOSE "Impossible de fermer un fichier de configuration."
#define STR_CONFIG_CANNOT_DELETE "Impossible de supprimer un fichier de configuration."
#define STR_CONFIG_MISSING_ARGUMENT "Un fichier ou une valeur de configuration nécessaire n'a pas été indiqué."
#define STR_CONFIG_PATH_NOT_UTF8 "Le chemin d'un fichier de configuration n'est pas un texte UTF-8 valide."
#define STR_CONFIG_FILE_TOO_LARGE "Le fichier de configuration %s est trop volumineux. Il doit faire moins de 1 Mo."
#define STR_CONFIG_BAD_ARGUMENTS "Ces arguments de ligne de commande ne sont pas pris en charge ou ont des valeurs non valides :\n\n%s"
