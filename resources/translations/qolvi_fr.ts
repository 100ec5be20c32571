<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>ActivityIndicator</name>
    <message>
        <source>Working</source>
        <translation>Traitement en cours</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Qolvi Desktop Agent</source>
        <translation>Agent de bureau Qolvi</translation>
    </message>
</context>
<context>
    <name>MainScreen</name>
    <message>
        <source>YOUR EXAM KEY</source>
        <translation>VOTRE CLÉ D’EXAMEN</translation>
    </message>
    <message>
        <source>ENTER YOUR EXAM KEY IN THE BOX BELOW</source>
        <translation>SAISISSEZ VOTRE CLÉ D’EXAMEN CI-DESSOUS</translation>
    </message>
    <message>
        <source>Exam key</source>
        <translation>Clé d’examen</translation>
    </message>
    <message>
        <source>MATCH THE KEY</source>
        <translation>VÉRIFIER LA CLÉ</translation>
    </message>
    <message>
        <source>CONNECTED</source>
        <translation>CONNECTÉ</translation>
    </message>
    <message>
        <source>BEGIN THE EXAM</source>
        <translation>COMMENCER L’EXAMEN</translation>
    </message>
    <message>
        <source>OPEN A BROWSER ON YOUR COMPUTER</source>
        <translation>OUVREZ UN NAVIGATEUR SUR VOTRE ORDINATEUR</translation>
    </message>
    <message>
        <source>DO NOT CLOSE THIS APPLICATION UNTIL YOU FINISH YOUR EXAM</source>
        <translation>NE FERMEZ PAS CETTE APPLICATION AVANT LA FIN DE VOTRE EXAMEN</translation>
    </message>
    <message>
        <source>To let the agent see your windows, log out and log in again before the exam.</source>
        <translation>Pour que l’agent puisse voir vos fenêtres, déconnectez-vous puis reconnectez-vous avant l’examen.</translation>
    </message>
</context>
<context>
    <name>QGuiApplication</name>
    <message>
        <source>QT_LAYOUT_DIRECTION</source>
        <comment>Translate this string to the string &apos;LTR&apos; in left-to-right languages or to &apos;RTL&apos; in right-to-left languages (such as Hebrew and Arabic) to get proper widget layout.</comment>
        <translation>LTR</translation>
    </message>
</context>
<context>
    <name>Qolvi_Desktop_Agent::ContentView</name>
    <message>
        <source>The exam key was not accepted.</source>
        <translation>La clé d’examen n’a pas été acceptée.</translation>
    </message>
    <message>
        <source>The exam service ended the connection.</source>
        <translation>Le service d’examen a mis fin à la connexion.</translation>
    </message>
    <message>
        <source>Please enter the exam key.</source>
        <translation>Veuillez saisir la clé d’examen.</translation>
    </message>
    <message>
        <source>This computer&apos;s applications cannot be seen from here. Run the agent outside any container or sandbox.</source>
        <translation>Les applications de cet ordinateur ne sont pas visibles d’ici. Exécutez l’agent en dehors de tout conteneur ou bac à sable.</translation>
    </message>
    <message>
        <source>This agent was started in a way that lets another program change what it reports. Start it again from your applications menu.</source>
        <translation>Cet agent a été démarré d’une manière qui permet à un autre programme de modifier ce qu’il signale. Relancez-le depuis votre menu des applications.</translation>
    </message>
</context>
</TS>
