<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Window</name>
    <message>
        <location filename="../window_texts.h" line="17"/>
        <source>MySQL Database Recovery</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="18"/>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="19"/>
        <source>Open Database file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="20"/>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="21"/>
        <source>Stop running process</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="22"/>
        <source>Save MySQL Data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="23"/>
        <source>Save recovered data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="24"/>
        <source>Export to CSV</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="25"/>
        <source>Save the rows of the grid as a CSV file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="26"/>
        <location filename="../window_texts.h" line="29"/>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="27"/>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="28"/>
        <source>Help for Tavrin MySQL Database Repair</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="30"/>
        <source>About Tavrin MySQL Database Repair</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="31"/>
        <source>Look</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="32"/>
        <source>Colours</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="33"/>
        <source>Choose the window&apos;s colours</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="35"/>
        <source>MySQL Database Objects</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="36"/>
        <source>Output</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="37"/>
        <source>Previous Records</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="38"/>
        <source>Next Records</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="40"/>
        <source>Another instance of application is already running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="41"/>
        <source>Please stop the running process to continue the process.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="42"/>
        <source>Please stop the running process to close the application.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="43"/>
        <source>Do you want to close the application?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="44"/>
        <source>Please select folder to save the database</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="45"/>
        <source>Log file path : </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="48"/>
        <source>Select Database File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="49"/>
        <source>Select MySQL Database File:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="50"/>
        <source>Select Temporary Path:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="51"/>
        <source>Select Log File Path:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="52"/>
        <source>Select location to choose database file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="53"/>
        <source>Select location for temporary path.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="54"/>
        <source>Select location to save Log file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="56"/>
        <source>CREATE TABLE statements for tables whose .frm is gone (optional):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="57"/>
        <source>Select a SQL file with CREATE TABLE statements</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="58"/>
        <source>SQL files (*.sql);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="63"/>
        <source>Copyright © 2026 the Tavrin developers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="64"/>
        <source>Licensed under the MIT licence.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="65"/>
        <source>Recovers the tables of MySQL and MariaDB data folders without a server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="66"/>
        <source>Company website</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="67"/>
        <source>Support email address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../window_texts.h" line="68"/>
        <source>Sales email address</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
