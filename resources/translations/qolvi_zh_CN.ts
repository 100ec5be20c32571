<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ActivityIndicator</name>
    <message>
        <source>Working</source>
        <translation>正在处理</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Qolvi Desktop Agent</source>
        <translation>Qolvi 桌面代理</translation>
    </message>
</context>
<context>
    <name>MainScreen</name>
    <message>
        <source>YOUR EXAM KEY</source>
        <translation>您的考试密钥</translation>
    </message>
    <message>
        <source>ENTER YOUR EXAM KEY IN THE BOX BELOW</source>
        <translation>请在下方输入框中输入考试密钥</translation>
    </message>
    <message>
        <source>Exam key</source>
        <translation>考试密钥</translation>
    </message>
    <message>
        <source>MATCH THE KEY</source>
        <translation>验证密钥</translation>
    </message>
    <message>
        <source>CONNECTED</source>
        <translation>已连接</translation>
    </message>
    <message>
        <source>BEGIN THE EXAM</source>
        <translation>开始考试</translation>
    </message>
    <message>
        <source>OPEN A BROWSER ON YOUR COMPUTER</source>
        <translation>请在您的电脑上打开浏览器</translation>
    </message>
    <message>
        <source>DO NOT CLOSE THIS APPLICATION UNTIL YOU FINISH YOUR EXAM</source>
        <translation>考试结束前请勿关闭本应用程序</translation>
    </message>
    <message>
        <source>To let the agent see your windows, log out and log in again before the exam.</source>
        <translation>为了让本代理能看到您的窗口，请在考试前注销并重新登录。</translation>
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
        <translation>考试密钥未被接受。</translation>
    </message>
    <message>
        <source>The exam service ended the connection.</source>
        <translation>考试服务已结束连接。</translation>
    </message>
    <message>
        <source>Please enter the exam key.</source>
        <translation>请输入考试密钥。</translation>
    </message>
    <message>
        <source>This computer&apos;s applications cannot be seen from here. Run the agent outside any container or sandbox.</source>
        <translation>无法从此处看到这台电脑上的应用程序。请在任何容器或沙盒之外运行本代理。</translation>
    </message>
    <message>
        <source>This agent was started in a way that lets another program change what it reports. Start it again from your applications menu.</source>
        <translation>本代理的启动方式使其他程序能够更改它所报告的内容。请从应用程序菜单重新启动它。</translation>
    </message>
</context>
</TS>
